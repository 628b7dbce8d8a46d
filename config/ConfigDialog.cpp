#include "ConfigDialog.h"

#include "ConfigFile.h"
#include "Twips.h"
#include "WindowFonts.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabBar>
#include <QTabWidget>

namespace {

// The design places the tab pages' controls from the top of the tab strip;
// Qt's pages start below the tab row, about this high.
constexpr double kTabRowTwips = 360;

const QColor kBlue(0x00, 0x00, 0xFF);

// A label reaches up to its field; the design font's substitute runs wider
// than the original, so the text gets all the room there is.
QLabel* addLabel(QWidget* parent, const QString& text, double left, double top, double right)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(Twips::toPx(left, top - 45, right - left - 30, 330));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* addField(QWidget* parent, const char* name, double left, double top, double width, double height)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setGeometry(Twips::toPx(left, top, width, height));
    return field;
}

void setBlueText(QWidget* w)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, kBlue);
    pal.setColor(QPalette::ButtonText, kBlue);
    w->setPalette(pal);
}

} // namespace

ConfigDialog::ConfigDialog(ConfigRecord& record, QString configPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_record(record)
    , m_configPath(std::move(configPath))
    , m_reportError([this](const QString& text) {
        QMessageBox::warning(this, QStringLiteral("Configuration"), text);
    })
{
    setObjectName(QStringLiteral("frmConf"));
    setWindowTitle(QStringLiteral("Configuration"));
    setFont(WindowFonts::dialogFont());
    setFixedSize(Twips::toPx(6165, 6600));
    setModal(true);

    buildServerFrame();

    auto* model = new QLabel(QStringLiteral("QZ-750"), this);
    model->setObjectName(QStringLiteral("Label10"));
    model->setGeometry(Twips::toPx(150, 2325, 1665, 240));
    setBlueText(model);

    // The strip is designed wider than the dialog; here it fits the dialog and
    // scrolls its sixteen tabs (arrow buttons, or Ctrl+Tab / Ctrl+Shift+Tab).
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_tabs->setGeometry(Twips::toPx(75, 2625, 6015, 3315));
    m_tabs->setUsesScrollButtons(true);
    m_tabs->tabBar()->setExpanding(false);
    for (int i = 0; i < kStations; ++i)
        m_tabs->addTab(buildStationTab(i), QString::number(i + 1));
    for (int i = 0; i < kStations; ++i)
        connect(m_chkAttivo[i], &QCheckBox::toggled, this, [this, i]() { chkAttivo_Click(i); });

    m_chkPopUp = new QCheckBox(QStringLiteral("PopUp on call"), this);
    m_chkPopUp->setObjectName(QStringLiteral("chkPopUp"));
    m_chkPopUp->setGeometry(Twips::toPx(225, 6075, 1815, 315));

    m_cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    m_cmdOk->setObjectName(QStringLiteral("cmdOk"));
    m_cmdOk->setGeometry(Twips::toPx(3900, 6000, 1065, 540));
    m_cmdOk->setDefault(true);
    m_cmdOk->setAutoDefault(true);
    connect(m_cmdOk, &QPushButton::clicked, this, &ConfigDialog::cmdOk_Click);

    m_cmdAnnulla = new QPushButton(QStringLiteral("Annulla"), this);
    m_cmdAnnulla->setObjectName(QStringLiteral("cmdAnnulla"));
    m_cmdAnnulla->setGeometry(Twips::toPx(5025, 6000, 1065, 540));
    m_cmdAnnulla->setAutoDefault(false);
    connect(m_cmdAnnulla, &QPushButton::clicked, this, &QDialog::reject); // Escape does the same

    Form_Load();
}

void ConfigDialog::buildServerFrame()
{
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame2"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(Twips::toPx(75, 0, 6015, 2265));

    m_chkServer = new QCheckBox(QStringLiteral("Use SIP server"), frame);
    m_chkServer->setObjectName(QStringLiteral("chkServer"));
    m_chkServer->setGeometry(Twips::toPx(225, 225, 1965, 315));
    setBlueText(m_chkServer);
    connect(m_chkServer, &QCheckBox::toggled, this, &ConfigDialog::chkServer_Click);

    addLabel(frame, QStringLiteral("IP address"), 225, 750, 1650);
    m_txtPBX = addField(frame, "txtPBX", 1650, 675, 2565, 360);
    addLabel(frame, QStringLiteral("User ID"), 225, 1200, 1650);
    m_txtID = addField(frame, "txtID", 1650, 1125, 1065, 360);
    addLabel(frame, QStringLiteral("Password"), 225, 1650, 1650);
    m_txtPWD = addField(frame, "txtPWD", 1650, 1575, 1065, 360);
    m_txtPBX->setEnabled(false);
    m_txtID->setEnabled(false);
    m_txtPWD->setEnabled(false);
}

QWidget* ConfigDialog::buildStationTab(int i)
{
    auto* page = new QWidget();
    page->setObjectName(QStringLiteral("tab%1").arg(i + 1));

    auto* active = new QCheckBox(QStringLiteral("Active"), page);
    active->setObjectName(QStringLiteral("chkAttivo(%1)").arg(i));
    active->setGeometry(Twips::toPx(150, 450 - kTabRowTwips, 3015, 240));
    m_chkAttivo[i] = active;

    auto* frame = new QFrame(page);
    frame->setObjectName(QStringLiteral("frameQZ(%1)").arg(i));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(Twips::toPx(150, 600 - kTabRowTwips, 5715, 2640));

    addLabel(frame, QStringLiteral("Description"), 225, 375, 1650);
    m_txtDesc[i] = addField(frame, "txtDesc", 1650, 300, 2565, 360);
    addLabel(frame, QStringLiteral("IP address"), 225, 825, 1650);
    m_txtQZ[i] = addField(frame, "txtQZ", 1650, 750, 2565, 360);
    addLabel(frame, QStringLiteral("Extension"), 225, 1275, 1650);
    m_txtExt[i] = addField(frame, "txtExt", 1650, 1200, 1065, 360);
    addLabel(frame, QStringLiteral("Activation time unlock relay"), 225, 1725, 2775);
    m_txtRele1[i] = addField(frame, "txtRele1", 2775, 1650, 540, 360);
    addLabel(frame, QStringLiteral("(S)"), 3450, 1725, 4200);
    addLabel(frame, QStringLiteral("Activation time light relay"), 225, 2175, 2775);
    m_txtRele2[i] = addField(frame, "txtRele2", 2775, 2100, 540, 360);
    addLabel(frame, QStringLiteral("(S)"), 3450, 2175, 4200);

    // The operator types two digits at most: relay times are whole seconds.
    const QRegularExpression digits(QStringLiteral("[0-9]{0,2}"));
    for (QLineEdit* field : {m_txtRele1[i], m_txtRele2[i]})
        field->setValidator(new QRegularExpressionValidator(digits, field));
    for (QLineEdit* field : {m_txtDesc[i], m_txtQZ[i], m_txtExt[i], m_txtRele1[i], m_txtRele2[i]})
        field->setObjectName(field->objectName() + QStringLiteral("(%1)").arg(i));

    active->raise(); // above the frame that starts just under it
    if (i == 0) {
        // Station 0 is always served.
        active->setChecked(true);
        active->setEnabled(false);
    }
    return page;
}

void ConfigDialog::Form_Load()
{
    m_txtPBX->setText(m_record.serverAddress);
    m_txtID->setText(m_record.userId);
    m_txtPWD->setText(m_record.password);
    for (int i = 0; i < kStations; ++i) {
        // Cleared first, so a set box always runs its click handler.
        m_chkAttivo[i]->setChecked(false);
        m_chkAttivo[i]->setChecked(m_record.active[i] != 0);
        m_txtExt[i]->setText(m_record.extension[i]);
        m_txtQZ[i]->setText(m_record.ipAddress[i]);
        // Set directly: a value stored by other means (123, -5) is shown and
        // kept; the two-digit rule applies to what the operator types.
        m_txtRele1[i]->setText(QString::number(m_record.param(ConfigRecord::kLockRelayParam, i)));
        m_txtRele2[i]->setText(QString::number(m_record.param(ConfigRecord::kLightRelayParam, i)));
        m_txtDesc[i]->setText(m_record.description[i]);
    }
    m_chkServer->setChecked(m_record.useSipServer != 0);
    chkServer_Click();
    m_chkPopUp->setChecked(m_record.popupOnCall != 0);
}

void ConfigDialog::chkAttivo_Click(int index)
{
    if (index >= kStations - 1)
        return;
    if (!m_chkAttivo[index]->isChecked()) {
        for (int j = index + 1; j < kStations; ++j) {
            m_chkAttivo[j]->setChecked(false);
            m_chkAttivo[j]->setEnabled(false);
        }
    } else {
        m_chkAttivo[index + 1]->setEnabled(true);
    }
}

void ConfigDialog::chkServer_Click()
{
    const bool on = m_chkServer->isChecked();
    m_txtPBX->setEnabled(on);
    m_txtID->setEnabled(on);
    m_txtPWD->setEnabled(on);
}

qint16 ConfigDialog::relayTime(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value == 0)
        return 1;
    return qint16(value);
}

ConfigRecord ConfigDialog::editedRecord() const
{
    ConfigRecord r = m_record;
    r.serverAddress = m_txtPBX->text();
    r.userId = m_txtID->text();
    r.password = m_txtPWD->text();
    for (int i = 0; i < kStations; ++i) {
        r.extension[i] = m_txtExt[i]->text().trimmed();
        r.ipAddress[i] = m_txtQZ[i]->text().trimmed();
        r.description[i] = m_txtDesc[i]->text();
        r.param(ConfigRecord::kLockRelayParam, i) = relayTime(m_txtRele1[i]->text());
        r.param(ConfigRecord::kLightRelayParam, i) = relayTime(m_txtRele2[i]->text());
        r.active[i] = m_chkAttivo[i]->isChecked() ? 1 : 0;
    }
    r.useSipServer = m_chkServer->isChecked() ? 1 : 0;
    r.popupOnCall = m_chkPopUp->isChecked() ? 1 : 0;
    return r;
}

void ConfigDialog::cmdOk_Click()
{
    const ConfigRecord edited = editedRecord();
    QString error;
    if (!ConfigFile::writeFile(m_configPath, edited, &error)) {
        // Keep the dialog and its edits; the file on disk is untouched.
        m_reportError(QStringLiteral("The configuration could not be saved.\n\n") + error);
        return;
    }
    m_record = edited;
    accept();
}

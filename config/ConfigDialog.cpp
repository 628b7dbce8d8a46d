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
// than the design font, so the text gets all the room there is.
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
        // Window-modal without a loop of its own: the console's event loop keeps serving cameras and calls.
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Configuration"), text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    })
{
    setObjectName(QStringLiteral("configDialog"));
    setWindowTitle(tr("Configuration"));
    setFont(WindowFonts::dialogFont());
    setFixedSize(Twips::toPx(6165, 6600));
    setModal(true);

    buildServerFrame();

    auto* model = new QLabel(QStringLiteral("QZ-750"), this);
    model->setObjectName(QStringLiteral("modelLabel"));
    model->setGeometry(Twips::toPx(150, 2325, 1665, 240));
    setBlueText(model);

    // The strip is designed wider than the dialog; here it fits the dialog and
    // scrolls its sixteen tabs (arrow buttons, or Ctrl+Tab / Ctrl+Shift+Tab).
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("stationTabs"));
    m_tabs->setGeometry(Twips::toPx(75, 2625, 6015, 3315));
    m_tabs->setUsesScrollButtons(true);
    m_tabs->tabBar()->setExpanding(false);
    for (int i = 0; i < kStations; ++i)
        m_tabs->addTab(buildStationTab(i), QString::number(i + 1));
    for (int i = 0; i < kStations; ++i)
        connect(m_activeBoxes[i], &QCheckBox::toggled, this, [this, i]() { onActiveToggled(i); });

    m_popupOnCallBox = new QCheckBox(tr("PopUp on call"), this);
    m_popupOnCallBox->setObjectName(QStringLiteral("popupOnCallBox"));
    m_popupOnCallBox->setGeometry(Twips::toPx(225, 6075, 1815, 315));

    m_okButton = new QPushButton(tr("Ok"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setGeometry(Twips::toPx(3900, 6000, 1065, 540));
    m_okButton->setDefault(true);
    m_okButton->setAutoDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &ConfigDialog::saveAndClose);

    m_cancelButton = new QPushButton(tr("Annulla"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setGeometry(Twips::toPx(5025, 6000, 1065, 540));
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject); // Escape does the same

    fillFields();
}

void ConfigDialog::buildServerFrame()
{
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("serverFrame"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(Twips::toPx(75, 0, 6015, 2265));

    m_useServerBox = new QCheckBox(tr("Use SIP server"), frame);
    m_useServerBox->setObjectName(QStringLiteral("useServerBox"));
    m_useServerBox->setGeometry(Twips::toPx(225, 225, 1965, 315));
    setBlueText(m_useServerBox);
    connect(m_useServerBox, &QCheckBox::toggled, this, &ConfigDialog::onUseServerToggled);

    addLabel(frame, tr("IP address"), 225, 750, 1650);
    m_serverEdit = addField(frame, "serverEdit", 1650, 675, 2565, 360);
    addLabel(frame, tr("User ID"), 225, 1200, 1650);
    m_userEdit = addField(frame, "userEdit", 1650, 1125, 1065, 360);
    addLabel(frame, tr("Password"), 225, 1650, 1650);
    m_passwordEdit = addField(frame, "passwordEdit", 1650, 1575, 1065, 360);
    m_serverEdit->setEnabled(false);
    m_userEdit->setEnabled(false);
    m_passwordEdit->setEnabled(false);
}

QWidget* ConfigDialog::buildStationTab(int i)
{
    auto* page = new QWidget();
    page->setObjectName(QStringLiteral("tab%1").arg(i + 1));

    auto* active = new QCheckBox(tr("Active"), page);
    active->setObjectName(QStringLiteral("activeBox(%1)").arg(i));
    active->setGeometry(Twips::toPx(150, 450 - kTabRowTwips, 3015, 240));
    m_activeBoxes[i] = active;

    auto* frame = new QFrame(page);
    frame->setObjectName(QStringLiteral("stationFrame(%1)").arg(i));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(Twips::toPx(150, 600 - kTabRowTwips, 5715, 2640));

    addLabel(frame, tr("Description"), 225, 375, 1650);
    m_descriptionEdits[i] = addField(frame, "descriptionEdit", 1650, 300, 2565, 360);
    addLabel(frame, tr("IP address"), 225, 825, 1650);
    m_addressEdits[i] = addField(frame, "addressEdit", 1650, 750, 2565, 360);
    addLabel(frame, tr("Extension"), 225, 1275, 1650);
    m_extensionEdits[i] = addField(frame, "extensionEdit", 1650, 1200, 1065, 360);
    addLabel(frame, tr("Activation time unlock relay"), 225, 1725, 2775);
    m_lockTimeEdits[i] = addField(frame, "lockTimeEdit", 2775, 1650, 540, 360);
    addLabel(frame, tr("(S)"), 3450, 1725, 4200);
    addLabel(frame, tr("Activation time light relay"), 225, 2175, 2775);
    m_lightTimeEdits[i] = addField(frame, "lightTimeEdit", 2775, 2100, 540, 360);
    addLabel(frame, tr("(S)"), 3450, 2175, 4200);

    // The operator types two digits at most: relay times are whole seconds.
    const QRegularExpression digits(QStringLiteral("[0-9]{0,2}"));
    for (QLineEdit* field : {m_lockTimeEdits[i], m_lightTimeEdits[i]})
        field->setValidator(new QRegularExpressionValidator(digits, field));
    for (QLineEdit* field : {m_descriptionEdits[i], m_addressEdits[i], m_extensionEdits[i], m_lockTimeEdits[i], m_lightTimeEdits[i]})
        field->setObjectName(field->objectName() + QStringLiteral("(%1)").arg(i));

    active->raise(); // above the frame that starts just under it
    if (i == 0) {
        // Station 0 is always served.
        active->setChecked(true);
        active->setEnabled(false);
    }
    return page;
}

void ConfigDialog::fillFields()
{
    m_serverEdit->setText(m_record.serverAddress);
    m_userEdit->setText(m_record.userId);
    m_passwordEdit->setText(m_record.password);
    for (int i = 0; i < kStations; ++i) {
        // Cleared first, so a set box always runs its click handler.
        m_activeBoxes[i]->setChecked(false);
        m_activeBoxes[i]->setChecked(m_record.active[i] != 0);
        m_extensionEdits[i]->setText(m_record.extension[i]);
        m_addressEdits[i]->setText(m_record.ipAddress[i]);
        // Set directly: a value stored by other means (123, -5) is shown and
        // kept; the two-digit rule applies to what the operator types.
        m_lockTimeEdits[i]->setText(QString::number(m_record.param(ConfigRecord::kLockRelayParam, i)));
        m_lightTimeEdits[i]->setText(QString::number(m_record.param(ConfigRecord::kLightRelayParam, i)));
        m_descriptionEdits[i]->setText(m_record.description[i]);
    }
    m_useServerBox->setChecked(m_record.useSipServer != 0);
    onUseServerToggled();
    m_popupOnCallBox->setChecked(m_record.popupOnCall != 0);
}

void ConfigDialog::onActiveToggled(int index)
{
    if (index >= kStations - 1)
        return;
    if (!m_activeBoxes[index]->isChecked()) {
        for (int j = index + 1; j < kStations; ++j) {
            m_activeBoxes[j]->setChecked(false);
            m_activeBoxes[j]->setEnabled(false);
        }
    } else {
        m_activeBoxes[index + 1]->setEnabled(true);
    }
}

void ConfigDialog::onUseServerToggled()
{
    const bool on = m_useServerBox->isChecked();
    m_serverEdit->setEnabled(on);
    m_userEdit->setEnabled(on);
    m_passwordEdit->setEnabled(on);
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
    r.serverAddress = m_serverEdit->text();
    r.userId = m_userEdit->text();
    r.password = m_passwordEdit->text();
    for (int i = 0; i < kStations; ++i) {
        r.extension[i] = m_extensionEdits[i]->text().trimmed();
        r.ipAddress[i] = m_addressEdits[i]->text().trimmed();
        r.description[i] = m_descriptionEdits[i]->text();
        r.param(ConfigRecord::kLockRelayParam, i) = relayTime(m_lockTimeEdits[i]->text());
        r.param(ConfigRecord::kLightRelayParam, i) = relayTime(m_lightTimeEdits[i]->text());
        r.active[i] = m_activeBoxes[i]->isChecked() ? 1 : 0;
    }
    r.useSipServer = m_useServerBox->isChecked() ? 1 : 0;
    r.popupOnCall = m_popupOnCallBox->isChecked() ? 1 : 0;
    return r;
}

void ConfigDialog::saveAndClose()
{
    const ConfigRecord edited = editedRecord();
    QString error;
    if (!ConfigFile::writeFile(m_configPath, edited, &error)) {
        // Keep the dialog and its edits; the file on disk is untouched.
        m_reportError(tr("The configuration could not be saved.\n\n") + error);
        return;
    }
    m_record = edited;
    accept();
}

#pragma once

#include "ConfigRecord.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

/// frmConf, "Configuration": edits the console settings and stations 0 to 15.
/// OK stores the fields into the shared record and rewrites qzp.cfg;
/// "Annulla" discards the edits.
class ConfigDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kStations = ConfigRecord::kStations;

    /// record is the shared record (changed only by a successful OK);
    /// configPath is where qzp.cfg is written.
    ConfigDialog(ConfigRecord& record, QString configPath, QWidget* parent = nullptr);

    /// How a failed write is reported; by default a message box.
    void setErrorReporter(std::function<void(const QString&)> reporter) { m_reportError = std::move(reporter); }

    /// The record as the controls now describe it (the store step without writing).
    ConfigRecord editedRecord() const;

    /// Whole number of a relay time field; 0, empty or unreadable become 1.
    static qint16 relayTime(const QString& text);

    QTabWidget* SSTab1() const { return m_tabs; }
    QCheckBox* chkAttivo(int i) const { return m_chkAttivo.at(i); }
    QLineEdit* txtQZ(int i) const { return m_txtQZ.at(i); }
    QLineEdit* txtExt(int i) const { return m_txtExt.at(i); }
    QLineEdit* txtDesc(int i) const { return m_txtDesc.at(i); }
    QLineEdit* txtRele1(int i) const { return m_txtRele1.at(i); }
    QLineEdit* txtRele2(int i) const { return m_txtRele2.at(i); }
    QCheckBox* chkServer() const { return m_chkServer; }
    QLineEdit* txtPBX() const { return m_txtPBX; }
    QLineEdit* txtID() const { return m_txtID; }
    QLineEdit* txtPWD() const { return m_txtPWD; }
    QCheckBox* chkPopUp() const { return m_chkPopUp; }
    QPushButton* cmdOk() const { return m_cmdOk; }
    QPushButton* cmdAnnulla() const { return m_cmdAnnulla; }

private:
    void buildServerFrame();
    QWidget* buildStationTab(int i);
    void Form_Load();
    void chkAttivo_Click(int index);
    void chkServer_Click();
    void cmdOk_Click();

    ConfigRecord& m_record;
    QString m_configPath;
    std::function<void(const QString&)> m_reportError;
    QTabWidget* m_tabs = nullptr;
    std::array<QCheckBox*, kStations> m_chkAttivo{};
    std::array<QLineEdit*, kStations> m_txtQZ{};
    std::array<QLineEdit*, kStations> m_txtExt{};
    std::array<QLineEdit*, kStations> m_txtDesc{};
    std::array<QLineEdit*, kStations> m_txtRele1{};
    std::array<QLineEdit*, kStations> m_txtRele2{};
    QCheckBox* m_chkServer = nullptr;
    QLineEdit* m_txtPBX = nullptr;
    QLineEdit* m_txtID = nullptr;
    QLineEdit* m_txtPWD = nullptr;
    QCheckBox* m_chkPopUp = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdAnnulla = nullptr;
};

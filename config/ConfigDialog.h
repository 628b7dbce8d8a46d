#pragma once

#include "ConfigRecord.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

/// The configuration dialog, "Configuration": edits the console settings and stations 0 to 15.
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

    QTabWidget* stationTabs() const { return m_tabs; }
    QCheckBox* activeBox(int i) const { return m_activeBoxes.at(i); }
    QLineEdit* addressEdit(int i) const { return m_addressEdits.at(i); }
    QLineEdit* extensionEdit(int i) const { return m_extensionEdits.at(i); }
    QLineEdit* descriptionEdit(int i) const { return m_descriptionEdits.at(i); }
    QLineEdit* lockTimeEdit(int i) const { return m_lockTimeEdits.at(i); }
    QLineEdit* lightTimeEdit(int i) const { return m_lightTimeEdits.at(i); }
    QCheckBox* useServerBox() const { return m_useServerBox; }
    QLineEdit* serverEdit() const { return m_serverEdit; }
    QLineEdit* userEdit() const { return m_userEdit; }
    QLineEdit* passwordEdit() const { return m_passwordEdit; }
    QCheckBox* popupOnCallBox() const { return m_popupOnCallBox; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

private:
    void buildServerFrame();
    QWidget* buildStationTab(int i);
    void fillFields();
    void onActiveToggled(int index);
    void onUseServerToggled();
    void saveAndClose();

    ConfigRecord& m_record;
    QString m_configPath;
    std::function<void(const QString&)> m_reportError;
    QTabWidget* m_tabs = nullptr;
    std::array<QCheckBox*, kStations> m_activeBoxes{};
    std::array<QLineEdit*, kStations> m_addressEdits{};
    std::array<QLineEdit*, kStations> m_extensionEdits{};
    std::array<QLineEdit*, kStations> m_descriptionEdits{};
    std::array<QLineEdit*, kStations> m_lockTimeEdits{};
    std::array<QLineEdit*, kStations> m_lightTimeEdits{};
    QCheckBox* m_useServerBox = nullptr;
    QLineEdit* m_serverEdit = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QCheckBox* m_popupOnCallBox = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

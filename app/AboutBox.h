#pragma once

#include <QDialog>

/// The about box, "  Info": the program's name and version over its picture, the desk's name
/// under them, closed by "Ok".
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(const QString& deskName = {}, QWidget* parent = nullptr);
};

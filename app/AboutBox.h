#pragma once

#include <QDialog>

/// The about box, "  Info": the program's name and version over its picture, closed by "Ok".
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

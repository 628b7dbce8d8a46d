#pragma once

#include <QDialog>

/// frmInfo, "  Info": the about box over its picture, closed by "Ok".
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

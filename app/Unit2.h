// TForm2: the About window, created hidden and shown from either About menu item.
#pragma once

#include <QWidget>

#include "ui_Unit2.h"

class TForm2 : public QWidget, public Ui::TForm2 {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;
};

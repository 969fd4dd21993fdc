// TForm2: the About window, created hidden and shown from either About menu item.
// A stay-on-top tool window, centred on the screen each time it is shown; its OK
// button (also Enter) hides it again.
#pragma once

#include <QWidget>

#include "ui_Unit2.h"

class TForm2 : public QWidget, public Ui::TForm2 {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    void OKButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// TForm3: the Help window, created hidden and shown from either Help menu item.
// A labelled picture of the control panel: lines lead from each explanation to
// the part it names. The window can be resized; its content stays where it is.
#pragma once

#include <QWidget>

#include "ui_Unit3.h"

class TForm3 : public QWidget, public Ui::TForm3 {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    void Button1Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

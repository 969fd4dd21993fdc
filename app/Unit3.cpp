#include "app/Unit3.h"

#include "app/Application.h"

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    Form3 = this;
}

TForm3::~TForm3() { Form3 = nullptr; }

#include "app/Unit2.h"


#include "app/Application.h"

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    setFixedSize(size());
    Form2 = this;
}

TForm2::~TForm2() { Form2 = nullptr; }

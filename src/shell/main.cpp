#include "main.h"

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Corvane Tallyscope"));
    resize(900, 600);
}

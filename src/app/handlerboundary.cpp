#include "app/handlerboundary.h"

void showMessageBox(QWidget *parent, const QString &text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, QStringLiteral("Lexhaul"), text, QMessageBox::Ok, parent);
    box.exec();
}

#include "measures/dmesures.h"
#include "measures/thmagnetomesures.h"

TDMesures::TDMesures(QWidget* parent) : QWidget(parent)
{
    setWindowTitle("Mesures");
}

#include "fingerkit/touch_bar.h"

touch_bar::touch_bar(QWidget* parent)
    : QProgressBar(parent)
{}

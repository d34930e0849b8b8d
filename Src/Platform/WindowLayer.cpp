#include "WindowLayer.h"

namespace {
WindowLayer* currentWindowLayer = nullptr;
}

WindowLayer* windowLayer() { return currentWindowLayer; }
void setWindowLayer(WindowLayer* layer) { currentWindowLayer = layer; }

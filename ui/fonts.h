#pragma once
class QApplication;
namespace kelvora {
// The interface font: "ＭＳ Ｐゴシック" at 12 pixels, drawn with a metric-compatible
// Japanese proportional gothic where the original is not installed.
void applyInterfaceFont(QApplication& app);
} // namespace kelvora

#pragma once
class QWidget;
namespace kelvora {
// Places a top-level window in the middle of the available area of the screen it is on
// (the primary screen before it is first shown).
void CenterOnScreen(QWidget& window);
} // namespace kelvora

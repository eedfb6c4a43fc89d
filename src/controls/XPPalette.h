#pragma once

#include <QColor>

namespace tavora {

// The colours shared by the wizard's own controls.
namespace XPPalette {
inline const QColor faceTop{0xFF, 0xFF, 0xFF};
inline const QColor faceBottom{0xE3, 0xE3, 0xDB};
inline const QColor border{0x00, 0x3C, 0x74};
inline const QColor hotBorder{0xF8, 0xB3, 0x30};
inline const QColor focus{0x6F, 0x6F, 0x6F};
inline const QColor disabledFace{0xF5, 0xF4, 0xEA};
inline const QColor disabledBorder{0xC9, 0xC7, 0xBA};
inline const QColor disabledText{0xA1, 0xA1, 0x92};
inline const QColor levelLow{0x4C, 0xBB, 0x17};
inline const QColor levelHigh{0x1B, 0x6E, 0x05};
inline const QColor track{0xEC, 0xEC, 0xE4};
} // namespace XPPalette

} // namespace tavora

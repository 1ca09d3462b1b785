#include "platform/foundation/ColorUtil.h"

QColor ColorUtil::toQColor(unsigned int aabbggrr)
{
    return QColor(static_cast<int>(aabbggrr & 0xFFu), static_cast<int>((aabbggrr >> 8) & 0xFFu),
                  static_cast<int>((aabbggrr >> 16) & 0xFFu), static_cast<int>(aabbggrr >> 24));
}

unsigned int ColorUtil::toAABBGGRR(const QColor& colour, bool keepAlpha)
{
    const unsigned int alpha = keepAlpha ? static_cast<unsigned int>(colour.alpha()) : 0xFFu;
    return alpha << 24 | static_cast<unsigned int>(colour.blue()) << 16 |
           static_cast<unsigned int>(colour.green()) << 8 | static_cast<unsigned int>(colour.red());
}

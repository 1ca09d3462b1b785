#pragma once

#include <QColor>

/// Packed colours of the foundation library: one unsigned int per colour, alpha in the top
/// byte, then blue, green and red in the low byte (AABBGGRR).
class ColorUtil
{
public:
    /// The colour of a packed AABBGGRR value, alpha included.
    static QColor toQColor(unsigned int aabbggrr);
    /// The packed AABBGGRR value of a colour; with `keepAlpha` false the alpha byte is 0xFF.
    static unsigned int toAABBGGRR(const QColor& colour, bool keepAlpha);
};

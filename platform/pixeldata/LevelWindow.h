#pragma once

namespace data {

/// A display level (centre) and window (width), in pixel values.
class LevelWindow
{
public:
    LevelWindow() = default;
    LevelWindow(int level, int window) : m_level(level), m_window(window) {}

    int getLevel() const { return m_level; }
    int getWindow() const { return m_window; }
    bool operator==(const LevelWindow&) const = default;

private:
    int m_level = 0;
    int m_window = 0;
};

} // namespace data

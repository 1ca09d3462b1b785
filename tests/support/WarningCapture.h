#pragma once

#include <QString>
#include <QStringList>

namespace testing_support {

/// Captures the warnings the library logs while the object lives, so a test can assert
/// the exact texts. Captures from every thread; restores the previous handler on exit.
class WarningCapture
{
public:
    WarningCapture();
    ~WarningCapture();
    WarningCapture(const WarningCapture&) = delete;
    WarningCapture& operator=(const WarningCapture&) = delete;

    QStringList messages() const;
    bool contains(const QString& text) const { return messages().contains(text); }
    void clear();
};

} // namespace testing_support

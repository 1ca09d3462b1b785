// The JSON settings parser. Settings it accepts must come back equal through their own
// JSON form, or a saved settings file would not reproduce a run.
#include "FuzzSupport.h"
#include "Settings.h"

#include <QJsonDocument>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::quietProcess();
    tool::EnhanceSettings settings;
    QString error;
    if (!tool::settingsFromJson(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), settings, error))
        return 0;
    tool::EnhanceSettings again;
    if (!tool::settingsFromJson(QJsonDocument(settings.toJson()).toJson(), again, error) || !(again == settings))
        std::abort();
    settings.describe();
    return 0;
}

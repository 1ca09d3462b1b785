#pragma once

#include <QJsonObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tool {

/// Kind of radiograph; chooses the automatic level/window, the default modality and the
/// phantom layout.
enum class Media
{
    Intraoral, ///< direct intraoral sensor
    Plate,     ///< intraoral phosphor plate scan
    Panoramic,
    Ceph
};

/// One display filter element, in the order the user gave them.
enum class FilterKind
{
    Gamma,
    Invert,
    Sharpen,
    Equalize,
    Denoise
};

struct FilterElement
{
    FilterKind kind = FilterKind::Invert;
    std::optional<float> value; ///< absent for invert and for an automatic gamma
    bool operator==(const FilterElement&) const = default;
};

/// Everything `enhance` needs to know, from the command line or a JSON settings file.
struct EnhanceSettings
{
    Media media = Media::Intraoral;
    std::optional<int> modality;       ///< display modality code; default from the media
    std::optional<double> level;       ///< both or neither of level and window
    std::optional<double> window;
    bool windowFromFile = false;       ///< use the window stored in a DICOM file when there is one
    std::vector<FilterElement> filters;
    QSize resize;                      ///< invalid: keep the size
    int rotate = 0;                    ///< 0, 90, 180 or 270 degrees clockwise
    bool mirror = false;               ///< left-right
    int depth = 8;                     ///< bits per pixel of PNG/TIFF output
    int acquisition = 0;               ///< raw sensor data of 12 or 16 bits: enhanced first; 0: off

    bool operator==(const EnhanceSettings&) const = default;

    /// Adds the element, replacing an earlier one of the same kind in place.
    void setFilter(const FilterElement& element);
    /// The display modality code that applies (given or the media's default).
    int effectiveModality() const;
    /// One line naming the settings, for captions and progress.
    QString describe() const;
    /// The JSON form that fromJson reads back into equal settings.
    QJsonObject toJson() const;
};

QString mediaName(Media media);
bool parseMedia(const QString& text, Media& media);
/// Names accepted by parseMedia, for help texts.
QStringList mediaNames();
/// Code of the host's media type for automatic contrast.
int mediaTypeCode(Media media);

QString modalityName(int code);
bool parseModality(const QString& text, int& code);
QStringList modalityNames();

QString filterName(FilterKind kind);
bool parseFilterName(const QString& text, FilterKind& kind);

/// Checks and stores one filter value given as text (a number, or "auto" for gamma).
bool parseFilterValue(FilterKind kind, const QString& text, FilterElement& element, QString& error);
/// Largest side of a display image the tool makes.
constexpr int maxDisplaySide = 16384;

/// "800x600" with both sides in 1..maxDisplaySide; false with the reason otherwise.
bool parseSize(const QString& text, QSize& size, QString& error);

/// The double nearest to the shortest decimal form of `value` (0.025f gives 0.025, not
/// 0.02500000037252903), so JSON shows floats as they were written.
double shortestDouble(float value);

/// Reads settings from JSON text on top of `settings`. Unknown keys, wrong types and
/// out-of-range values are errors, so a typing mistake never passes silently.
bool settingsFromJson(const QByteArray& json, EnhanceSettings& settings, QString& error);
bool loadSettingsFile(const QString& path, EnhanceSettings& settings, QString& error);

} // namespace tool

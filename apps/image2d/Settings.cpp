#include "Settings.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tool {

namespace {

struct Named
{
    const char* name;
    int code;
};

// Display modalities of the host's filter settings, by their codes.
const Named modalities[] = {{"unknown", 0}, {"plate", 1},           {"sensor", 2}, {"panoramic", 3},
                            {"ceph", 4},    {"generated-panoramic", 5}, {"ct", 6},     {"generated-ceph", 7}};

struct FilterRange
{
    FilterKind kind;
    const char* name;
    double lo, hi;
    bool loInclusive;
    const char* meaning;
};

const FilterRange filterRanges[] = {
    {FilterKind::Gamma, "gamma", 0.0, 10.0, false, "a gamma above 0 and at most 10, or auto"},
    {FilterKind::Invert, "invert", 0.0, 0.0, true, "no value"},
    {FilterKind::Sharpen, "sharpen", 0.0, 10.0, true, "a strength from 0 to 10"},
    {FilterKind::Equalize, "equalize", 0.0, 1.0, true, "a balance from 0 to 1"},
    {FilterKind::Denoise, "denoise", 0.0, 10.0, false, "a strength above 0 and at most 10"},
};

const FilterRange& rangeOf(FilterKind kind)
{
    for (const auto& r : filterRanges)
        if (r.kind == kind)
            return r;
    return filterRanges[0];
}

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

} // namespace

QString mediaName(Media media)
{
    switch (media)
    {
    case Media::Plate: return QStringLiteral("plate");
    case Media::Panoramic: return QStringLiteral("panoramic");
    case Media::Ceph: return QStringLiteral("ceph");
    case Media::Intraoral: break;
    }
    return QStringLiteral("intraoral");
}

bool parseMedia(const QString& text, Media& media)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("intraoral") || t == QLatin1String("sensor"))
        media = Media::Intraoral;
    else if (t == QLatin1String("plate"))
        media = Media::Plate;
    else if (t == QLatin1String("panoramic") || t == QLatin1String("pan"))
        media = Media::Panoramic;
    else if (t == QLatin1String("ceph") || t == QLatin1String("cephalometric"))
        media = Media::Ceph;
    else
        return false;
    return true;
}

QStringList mediaNames()
{
    return {QStringLiteral("intraoral"), QStringLiteral("plate"), QStringLiteral("panoramic"), QStringLiteral("ceph")};
}

int mediaTypeCode(Media media)
{
    // Codes of the host's media types: sensor 1, phosphor plate 2, panoramic 3, ceph 4.
    switch (media)
    {
    case Media::Plate: return 2;
    case Media::Panoramic: return 3;
    case Media::Ceph: return 4;
    case Media::Intraoral: break;
    }
    return 1;
}

QString modalityName(int code)
{
    for (const auto& m : modalities)
        if (m.code == code)
            return QString::fromLatin1(m.name);
    return QString::number(code);
}

bool parseModality(const QString& text, int& code)
{
    const QString t = text.trimmed().toLower();
    for (const auto& m : modalities)
        if (t == QLatin1String(m.name))
        {
            code = m.code;
            return true;
        }
    return false;
}

QStringList modalityNames()
{
    QStringList names;
    for (const auto& m : modalities)
        names << QString::fromLatin1(m.name);
    return names;
}

QString filterName(FilterKind kind)
{
    return QString::fromLatin1(rangeOf(kind).name);
}

bool parseFilterName(const QString& text, FilterKind& kind)
{
    const QString t = text.trimmed().toLower();
    for (const auto& r : filterRanges)
        if (t == QLatin1String(r.name))
        {
            kind = r.kind;
            return true;
        }
    return false;
}

bool parseFilterValue(FilterKind kind, const QString& text, FilterElement& element, QString& error)
{
    element = FilterElement{kind, std::nullopt};
    const FilterRange& r = rangeOf(kind);
    if (kind == FilterKind::Invert)
        return true;
    if (kind == FilterKind::Gamma && text.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
        return true;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    const bool aboveLow = r.loInclusive ? v >= r.lo : v > r.lo;
    if (!ok || !std::isfinite(v) || !aboveLow || v > r.hi)
    {
        error = QStringLiteral("invalid %1 value \"%2\": expected %3").arg(QLatin1String(r.name), text, QLatin1String(r.meaning));
        return false;
    }
    element.value = float(v);
    return true;
}

bool parseSize(const QString& text, QSize& size, QString& error)
{
    const QStringList parts = text.trimmed().toLower().split(QLatin1Char('x'));
    bool okW = false, okH = false;
    const qlonglong w = parts.size() == 2 ? parts[0].toLongLong(&okW) : 0;
    const qlonglong h = parts.size() == 2 ? parts[1].toLongLong(&okH) : 0;
    if (!okW || !okH || w < 1 || h < 1)
    {
        error = QStringLiteral("invalid size \"%1\": expected WxH with positive sides, for example 800x600").arg(text);
        return false;
    }
    if (w > maxDisplaySide || h > maxDisplaySide)
    {
        error = QStringLiteral("size \"%1\" is too large: at most %2 pixels a side").arg(text).arg(maxDisplaySide);
        return false;
    }
    size = QSize(int(w), int(h));
    return true;
}

double shortestDouble(float value)
{
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    if (ec != std::errc())
        return double(value);
    return std::strtod(std::string(text, end).c_str(), nullptr);
}

void EnhanceSettings::setFilter(const FilterElement& element)
{
    for (auto& f : filters)
        if (f.kind == element.kind)
        {
            f = element;
            return;
        }
    filters.push_back(element);
}

int EnhanceSettings::effectiveModality() const
{
    if (modality)
        return *modality;
    switch (media)
    {
    case Media::Plate: return 1;
    case Media::Panoramic: return 3;
    case Media::Ceph: return 4;
    case Media::Intraoral: break;
    }
    return 2;
}

QString EnhanceSettings::describe() const
{
    QStringList parts;
    parts << QStringLiteral("media %1").arg(mediaName(media));
    if (level && window)
        parts << QStringLiteral("level %1 window %2").arg(number(*level), number(*window));
    else if (windowFromFile)
        parts << QStringLiteral("window from file");
    else
        parts << QStringLiteral("automatic level/window");
    for (const auto& f : filters)
    {
        if (f.kind == FilterKind::Invert)
            parts << QStringLiteral("invert");
        else if (!f.value)
            parts << QStringLiteral("%1 auto").arg(filterName(f.kind));
        else
            parts << QStringLiteral("%1 %2").arg(filterName(f.kind), number(*f.value));
    }
    if (!filters.empty() || modality)
        parts << QStringLiteral("modality %1").arg(modalityName(effectiveModality()));
    if (resize.isValid())
        parts << QStringLiteral("resize %1x%2").arg(resize.width()).arg(resize.height());
    if (rotate)
        parts << QStringLiteral("rotate %1").arg(rotate);
    if (mirror)
        parts << QStringLiteral("mirror");
    if (acquisition)
        parts.prepend(QStringLiteral("acquisition %1-bit").arg(acquisition));
    return parts.join(QStringLiteral(", "));
}

QJsonObject EnhanceSettings::toJson() const
{
    QJsonObject o;
    o[QStringLiteral("media")] = mediaName(media);
    if (modality)
        o[QStringLiteral("modality")] = modalityName(*modality);
    if (level && window)
    {
        o[QStringLiteral("level")] = *level;
        o[QStringLiteral("window")] = *window;
    }
    if (windowFromFile)
        o[QStringLiteral("windowFromFile")] = true;
    QJsonArray list;
    for (const auto& f : filters)
    {
        QJsonObject e;
        e[QStringLiteral("filter")] = filterName(f.kind);
        if (f.kind == FilterKind::Gamma && !f.value)
            e[QStringLiteral("value")] = QStringLiteral("auto");
        else if (f.value)
            e[QStringLiteral("value")] = shortestDouble(*f.value);
        list.append(e);
    }
    if (!list.isEmpty())
        o[QStringLiteral("filters")] = list;
    if (resize.isValid())
        o[QStringLiteral("resize")] = QStringLiteral("%1x%2").arg(resize.width()).arg(resize.height());
    if (rotate)
        o[QStringLiteral("rotate")] = rotate;
    if (mirror)
        o[QStringLiteral("mirror")] = true;
    if (depth != 8)
        o[QStringLiteral("depth")] = depth;
    if (acquisition)
        o[QStringLiteral("acquisition")] = acquisition;
    return o;
}

bool settingsFromJson(const QByteArray& json, EnhanceSettings& s, QString& error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
    {
        error = QStringLiteral("invalid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject())
    {
        error = QStringLiteral("expected a JSON object");
        return false;
    }
    const QJsonObject o = doc.object();
    auto fail = [&](const QString& message) {
        error = message;
        return false;
    };
    auto wrongType = [&](const QString& key, const char* expected) {
        return fail(QStringLiteral("\"%1\" must be %2").arg(key, QLatin1String(expected)));
    };
    for (auto it = o.begin(); it != o.end(); ++it)
    {
        const QString key = it.key();
        const QJsonValue v = it.value();
        if (key == QLatin1String("media"))
        {
            if (!v.isString() || !parseMedia(v.toString(), s.media))
                return fail(QStringLiteral("\"media\" must be one of %1").arg(mediaNames().join(QStringLiteral(", "))));
        }
        else if (key == QLatin1String("modality"))
        {
            int code = 0;
            if (!v.isString() || !parseModality(v.toString(), code))
                return fail(QStringLiteral("\"modality\" must be one of %1").arg(modalityNames().join(QStringLiteral(", "))));
            s.modality = code;
        }
        else if (key == QLatin1String("level"))
        {
            if (!v.isDouble() || !std::isfinite(v.toDouble()))
                return wrongType(key, "a number");
            s.level = v.toDouble();
        }
        else if (key == QLatin1String("window"))
        {
            if (!v.isDouble() || !(v.toDouble() > 0) || !std::isfinite(v.toDouble()))
                return wrongType(key, "a number above 0");
            s.window = v.toDouble();
        }
        else if (key == QLatin1String("windowFromFile"))
        {
            if (!v.isBool())
                return wrongType(key, "true or false");
            s.windowFromFile = v.toBool();
        }
        else if (key == QLatin1String("filters"))
        {
            if (!v.isArray())
                return wrongType(key, "a list of filter elements");
            s.filters.clear();
            for (const QJsonValue& item : v.toArray())
            {
                const QJsonObject e = item.toObject();
                FilterKind kind;
                if (!item.isObject() || !e.value(QStringLiteral("filter")).isString() ||
                    !parseFilterName(e.value(QStringLiteral("filter")).toString(), kind))
                    return fail(QStringLiteral("each filter element needs \"filter\": gamma, invert, sharpen, equalize or denoise"));
                for (auto k = e.begin(); k != e.end(); ++k)
                    if (k.key() != QLatin1String("filter") && k.key() != QLatin1String("value"))
                        return fail(QStringLiteral("unknown key \"%1\" in a filter element").arg(k.key()));
                const QJsonValue value = e.value(QStringLiteral("value"));
                const bool needsValue = kind != FilterKind::Invert;
                if (needsValue && !value.isDouble() && !(kind == FilterKind::Gamma && value.isString()))
                    return fail(QStringLiteral("the %1 element needs a numeric \"value\"").arg(filterName(kind)));
                if (!needsValue && !value.isUndefined())
                    return fail(QStringLiteral("the invert element takes no \"value\""));
                const QString text = value.isString() ? value.toString() : QString::number(value.toDouble(), 'g', 17);
                FilterElement element;
                if (!parseFilterValue(kind, text, element, error))
                    return false;
                s.setFilter(element);
            }
        }
        else if (key == QLatin1String("resize"))
        {
            QSize size;
            const QJsonArray a = v.toArray();
            if (v.isArray() && a.size() == 2 && a[0].isDouble() && a[1].isDouble())
                size = QSize(a[0].toInt(), a[1].toInt());
            else if (v.isString())
            {
                QString reason;
                if (!parseSize(v.toString(), size, reason))
                    return fail(QStringLiteral("\"resize\": %1").arg(reason));
            }
            if (!size.isValid() || size.isEmpty())
                return wrongType(key, "\"WxH\" or [W, H] with positive sides");
            if (size.width() > maxDisplaySide || size.height() > maxDisplaySide)
                return fail(QStringLiteral("\"resize\" is too large: at most %1 pixels a side").arg(maxDisplaySide));
            s.resize = size;
        }
        else if (key == QLatin1String("rotate"))
        {
            const int r = v.toInt(-1);
            if (!v.isDouble() || (r != 0 && r != 90 && r != 180 && r != 270))
                return wrongType(key, "0, 90, 180 or 270");
            s.rotate = r;
        }
        else if (key == QLatin1String("mirror"))
        {
            if (!v.isBool())
                return wrongType(key, "true or false");
            s.mirror = v.toBool();
        }
        else if (key == QLatin1String("depth"))
        {
            const int d = v.toInt(-1);
            if (!v.isDouble() || (d != 8 && d != 16))
                return wrongType(key, "8 or 16");
            s.depth = d;
        }
        else if (key == QLatin1String("acquisition"))
        {
            const int bits = v.toInt(-1);
            if (!v.isDouble() || (bits != 0 && bits != 12 && bits != 16))
                return wrongType(key, "12, 16 or 0 (off)");
            s.acquisition = bits;
        }
        else
            return fail(QStringLiteral("unknown key \"%1\"").arg(key));
    }
    if (s.level.has_value() != s.window.has_value())
        return fail(QStringLiteral("\"level\" and \"window\" go together"));
    if (s.level && s.windowFromFile)
        return fail(QStringLiteral("\"windowFromFile\" cannot be combined with \"level\" and \"window\""));
    return true;
}

bool loadSettingsFile(const QString& path, EnhanceSettings& settings, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
    {
        error = QStringLiteral("cannot read settings %1: %2").arg(path, file.errorString());
        return false;
    }
    QString reason;
    if (!settingsFromJson(file.readAll(), settings, reason))
    {
        error = QStringLiteral("settings %1: %2").arg(path, reason);
        return false;
    }
    return true;
}

} // namespace tool

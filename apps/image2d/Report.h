#pragma once

#include "ImageIO.h"

#include "platform/pixeldata/Image2D.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tool {

/// What the report says about one image: its exposure class and sharpness, seen through the
/// detector's full range, and the value range inside the collimated field.
struct Measurement
{
    QString exposure;              ///< "dark", "balanced", "bright"; empty when no class could be given
    double sharpness = 0.0;        ///< variance of the gradient magnitude of the 8-bit view
    double fieldFraction = 0.0;    ///< share of the pixels inside the collimated field
    std::optional<float> fieldMinimum, fieldMaximum; ///< stored values inside the field
};

/// The stored values mapped linearly from the detector's range [0, 2^bits - 1] (bits from the
/// file when it gives fewer than 16, else the fewest of 12, 14 and 16 that hold the largest
/// value; FLOAT and INT: the image's own range) to 0..255, rounded. No
/// automatic windowing: a dark or bright exposure stays dark or bright. Burnt-out pixels
/// (0) drop out of the exposure rule with the masked ones.
Image2D detectorView8(const Image2D& image, int bitsStored);

/// The collimated field as a BINARY image (1 inside). Pixels the file marks as padding are
/// outside; so is the plateau of unexposed detector (within 4 % of full scale of the
/// brightest border values, when those lie in the top 10 % of the range) that reaches the
/// image border. The whole image when that leaves under a tenth of it.
Image2D collimatedField(const Image2D& image, int bitsStored, const QByteArray& padding = {});

/// Exposure class, sharpness and the field's value range of one image.
Measurement measure(const Image2D& image, int bitsStored, const QByteArray& padding = {});

/// The measurement as JSON members: exposure, sharpness, fieldFraction, fieldMinimum,
/// fieldMaximum (null when there is none).
QJsonObject measurementJson(const Measurement& m);
/// The measurement for the text report: (label, text) pairs, e.g. ("exposure:", "balanced").
QList<std::pair<QString, QString>> measurementFacts(const Measurement& m);

/// One CSV table of a day's images: a header, then one row per image (file, size and the
/// measurement). Fields with a comma or a quote are quoted.
QString reportCsvHeader();
QString reportCsvRow(const QString& file, const Image2D& image, const Measurement& m);

/// The acquisition enhancement of raw sensor data of `bits` (12 or 16) bits, in place, with the
/// collimated field as its mask (outside it the image becomes white). The file's window no
/// longer applies afterwards. False with a one-line reason for data that is not 16-bit unsigned.
bool enhanceRawAcquisition(LoadedImage& loaded, int bits, QString& error);

/// `image2d info` over several images (files, and folders of images): one measurement per
/// image, as a table on stdout, a JSON array (`json`), and/or a CSV file (`csvPath`, "-" for
/// stdout). Images that cannot be read are reported on stderr and make the status 1.
int runReport(const QStringList& inputs, const QString& csvPath, bool json);

} // namespace tool

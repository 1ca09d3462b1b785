#include "DicomStructure.h"

#include <QFile>

#include <gdcmFileMetaInformation.h>
#include <gdcmMediaStorage.h>
#include <gdcmTransferSyntax.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <streambuf>
#include <utility>

#include <zlib.h>

namespace ctvolume {

namespace {

constexpr std::uint32_t undefinedLength = 0xffffffffu;
constexpr int maxDepth = 64;

struct Syntax
{
    bool explicitVr = true;
    bool bigEndian = false;
};

bool isVr(const unsigned char* p)
{
    static const char* const all[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO",
                                      "LT", "OB", "OD", "OF", "OL", "OV", "OW", "PN", "SH", "SL", "SQ",
                                      "SS", "ST", "SV", "TM", "UC", "UI", "UL", "UN", "UR", "US", "UT", "UV"};
    for (const char* vr : all)
        if (p[0] == static_cast<unsigned char>(vr[0]) && p[1] == static_cast<unsigned char>(vr[1]))
            return true;
    return false;
}

// VRs whose explicit form has two reserved bytes and a 32-bit length.
bool hasLongLength(const unsigned char* p)
{
    static const char* const longVrs[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "UC", "UN", "UR", "UT", "SV", "UV"};
    for (const char* vr : longVrs)
        if (p[0] == static_cast<unsigned char>(vr[0]) && p[1] == static_cast<unsigned char>(vr[1]))
            return true;
    return false;
}

bool vrIs(const unsigned char* p, const char* vr)
{
    return p[0] == static_cast<unsigned char>(vr[0]) && p[1] == static_cast<unsigned char>(vr[1]);
}

// Attributes the readers take through GDCM's text conversion (its Scanner, its StringFilter),
// which asserts on a binary value representation it does not know: each must come in its own
// (or as UN, which GDCM replaces by its own).
bool unexpectedRepresentation(std::uint16_t group, std::uint16_t element, const unsigned char* vr)
{
    struct Attribute
    {
        std::uint16_t group, element;
        const char* vr;
    };
    static constexpr Attribute read[] = {{0x0008, 0x103e, "LO"}, {0x0018, 0x0050, "DS"}, {0x0018, 0x0088, "DS"},
                                         {0x0020, 0x000e, "UI"}, {0x0020, 0x0032, "DS"}, {0x0020, 0x0037, "DS"},
                                         {0x0028, 0x0008, "IS"}, {0x0028, 0x0010, "US"}, {0x0028, 0x0011, "US"},
                                         {0x0028, 0x0030, "DS"}, {0x0028, 0x0100, "US"}, {0x0028, 0x1052, "DS"},
                                         {0x0028, 0x1053, "DS"}};
    for (const Attribute& a : read)
        if (a.group == group && a.element == element)
            return !vrIs(vr, a.vr) && !vrIs(vr, "UN");
    return false;
}

// A UID as GDCM reads it: text up to the first NUL (it takes the value as a C string), without
// surrounding spaces.
QByteArray uidText(const unsigned char* value, std::uint32_t length)
{
    const auto* text = reinterpret_cast<const char*>(value);
    return QByteArray(text, qsizetype(std::find(text, text + length, '\0') - text)).trimmed();
}

// The form GDCM reads a data set without a meta header in, guessed as GDCM guesses it from
// the first element (tag read as little endian, then whether a value representation follows;
// GDCM also takes "??" for one). False when GDCM gives up or would assert: an element
// (0000,0000) of length 4 first makes it guess again from the next element and assert that
// this one is implicit little endian.
bool guessedSyntax(const unsigned char* p, qsizetype size, Syntax& syntax)
{
    for (int level = 0; level < 16 && size >= 8; ++level, p += 12, size -= 12)
    {
        const std::uint16_t group = std::uint16_t(p[0] | p[1] << 8), element = std::uint16_t(p[2] | p[3] << 8);
        const bool vr = isVr(p + 4) || (p[4] == '?' && p[5] == '?');
        if (group == 0x0002)
            return false; // a second header inside the data set
        if (group == 0x0008 || group == 0x0800 || element == 0x0010)
            syntax = Syntax{vr, group == 0x0800};
        else if (vr)
            syntax = Syntax{true, group > 0xff || element > 0xff};
        else if (group == 0 && element == 0 && (p[4] | p[5] << 8 | p[6] << 16 | uint32_t(p[7]) << 24) == 4 && size >= 20)
            continue;
        else
            return false;
        return level == 0 || (!syntax.explicitVr && !syntax.bigEndian);
    }
    return false;
}

// Offsets are checked against the end before every read; `at` only moves forward.
class Walker
{
public:
    Walker(const unsigned char* data, qsizetype size) : m_data(data), m_size(size) {}

    QString problem;
    qint64 pixelBytes = -1, pixelLength = -1;
    bool encapsulated = false;
    QByteArray sopClass; ///< (0008,0016) of the data set, its first if given twice (as GDCM keeps it)
    bool sopClassSeen = false, pixelDataSeen = false;
    /// GDCM adds up the lengths of what is read here (a sequence or item of defined length, or
    /// an implicit little endian data set read without a meta header), asserting that every
    /// item of undefined length inside holds an even number of bytes.
    bool lengthsAdded = false;
    bool oddItemOutsideSums = false; ///< such an item where no length is added up

    std::uint16_t u16(qsizetype at, bool big) const
    {
        return big ? std::uint16_t(m_data[at] << 8 | m_data[at + 1]) : std::uint16_t(m_data[at] | m_data[at + 1] << 8);
    }
    std::uint32_t u32(qsizetype at, bool big) const
    {
        return big ? std::uint32_t(u16(at, true)) << 16 | u16(at + 2, true)
                   : std::uint32_t(u16(at, false)) | std::uint32_t(u16(at + 2, false)) << 16;
    }

    bool fail(const char* why)
    {
        if (problem.isEmpty())
            problem = QString::fromLatin1(why);
        return false;
    }

    bool cut(qsizetype limit) { return fail(limit == m_size ? "the file ends inside an element" : "an element runs past the end of its item"); }

    // Elements from `at` up to `limit`; an item of undefined length ends at its delimiter.
    bool elements(qsizetype& at, qsizetype limit, const Syntax& s, int depth, bool untilDelimiter)
    {
        while (at < limit)
        {
            if (limit - at < 8)
                return cut(limit);
            const std::uint16_t group = u16(at, s.bigEndian), element = u16(at + 2, s.bigEndian);
            if (group == 0xfffe)
            {
                if (element == 0xe00d && untilDelimiter)
                {
                    at += 8;
                    return true;
                }
                return fail("an item or delimiter outside its sequence");
            }
            const bool pixelData = group == 0x7fe0 && element == 0x0010;
            // GDCM keeps the first of two equal tags; which pixel data it decodes is not worth guessing.
            if (pixelData && depth == 0 && std::exchange(pixelDataSeen, true))
                return fail("pixel data given twice");
            const unsigned char* vr = m_data + at + 4;
            std::uint32_t length = 0;
            bool sequence = false;
            Syntax inner = s;
            if (s.explicitVr)
            {
                if (!isVr(vr))
                    return fail("an element without a valid value representation");
                if (hasLongLength(vr))
                {
                    if (limit - at < 12)
                        return cut(limit);
                    length = u32(at + 8, s.bigEndian);
                    at += 12;
                }
                else
                {
                    length = u16(at + 6, s.bigEndian);
                    at += 8;
                }
                sequence = vrIs(vr, "SQ");
                if (depth == 0 && unexpectedRepresentation(group, element, vr))
                    return fail("an image attribute written with another value representation");
                if (sequence && pixelData)
                    return fail("pixel data as a sequence");
                // GDCM asserts that fragments come in one of these three.
                if (pixelData && length == undefinedLength && !vrIs(vr, "OB") && !vrIs(vr, "OW") && !vrIs(vr, "UN"))
                    return fail("encapsulated pixel data of a type other than OB or OW");
                if (length == undefinedLength && !sequence && !pixelData)
                {
                    // An unknown element of undefined length is a sequence in implicit little endian.
                    if (!vrIs(vr, "UN"))
                        return fail("an element of undefined length that is not a sequence");
                    sequence = true;
                    inner = Syntax{false, false};
                }
            }
            else
            {
                length = u32(at + 4, s.bigEndian);
                at += 8;
                sequence = length == undefinedLength && !pixelData;
            }
            if (length == undefinedLength)
            {
                const qsizetype from = at;
                if (!(sequence ? items(at, limit, inner, depth + 1, true) : fragments(at, limit, s)))
                    return false;
                if (pixelData && depth == 0)
                    pixelBytes = at - from, encapsulated = !sequence;
                continue;
            }
            if (pixelData && depth == 0)
                pixelBytes = std::min<qint64>(length, limit - at), pixelLength = length, encapsulated = false;
            if (length > std::uint64_t(limit - at))
            {
                // Native pixel data cut short is read with the missing bytes as zeros; GDCM
                // allocates what the element claims, so the claim must be near what is there.
                if (pixelData && depth == 0 && limit == m_size && length <= 2 * std::uint64_t(limit - at) + (1u << 20))
                    return at = limit, true;
                return fail(limit == m_size ? "an element runs past the end of the file"
                                            : "an element runs past the end of its item");
            }
            if (depth == 0 && group == 0x0008 && element == 0x0016 && !std::exchange(sopClassSeen, true))
                sopClass = uidText(m_data + at, length);
            if (sequence)
            {
                qsizetype inside = at;
                if (!items(inside, at + qsizetype(length), inner, depth + 1, false))
                    return false;
            }
            at += qsizetype(length);
        }
        if (untilDelimiter)
            return fail(limit == m_size ? "the file ends inside an item" : "an item is not closed");
        return true;
    }

    // Items of a sequence from `at` up to `limit`, or to its delimiter when of undefined length.
    bool items(qsizetype& at, qsizetype limit, const Syntax& s, int depth, bool untilDelimiter)
    {
        if (depth > maxDepth)
            return fail("sequences nested too deep");
        const bool outer = lengthsAdded;
        lengthsAdded = outer || !untilDelimiter;
        while (at < limit)
        {
            if (limit - at < 8)
                return cut(limit);
            const std::uint16_t group = u16(at, s.bigEndian), element = u16(at + 2, s.bigEndian);
            const std::uint32_t length = u32(at + 4, s.bigEndian);
            at += 8;
            if (group == 0xfffe && element == 0xe0dd && untilDelimiter)
                return lengthsAdded = outer, true;
            if (group != 0xfffe || element != 0xe000)
                return fail("a sequence holds something other than items");
            if (length == undefinedLength)
            {
                const qsizetype start = at;
                if (!elements(at, limit, s, depth, true))
                    return false;
                if ((at - start) % 2 != 0)
                {
                    if (lengthsAdded)
                        return fail("an item of undefined length holds an odd number of bytes");
                    oddItemOutsideSums = true;
                }
                continue;
            }
            if (length > std::uint64_t(limit - at))
                return fail(limit == m_size ? "an item runs past the end of the file" : "an item runs past the end of its sequence");
            qsizetype inside = at;
            const bool around = lengthsAdded;
            lengthsAdded = true;
            if (!elements(inside, at + qsizetype(length), s, depth, false))
                return false;
            lengthsAdded = around;
            at += qsizetype(length);
        }
        if (untilDelimiter)
            return fail(limit == m_size ? "the file ends inside a sequence" : "a sequence is not closed");
        lengthsAdded = outer;
        return true;
    }

    // Encapsulated pixel data: items of defined length up to the sequence delimiter.
    bool fragments(qsizetype& at, qsizetype limit, const Syntax& s)
    {
        while (limit - at >= 8)
        {
            const std::uint16_t group = u16(at, s.bigEndian), element = u16(at + 2, s.bigEndian);
            const std::uint32_t length = u32(at + 4, s.bigEndian);
            at += 8;
            // GDCM asserts on a sequence delimiter with a length.
            if (group == 0xfffe && element == 0xe0dd)
                return length == 0 || fail("the encapsulated pixel data ends in a delimiter with a length");
            if (group != 0xfffe || element != 0xe000 || length == undefinedLength)
                return fail("encapsulated pixel data holds something other than fragments");
            if (length > std::uint64_t(limit - at))
                return fail("a pixel data fragment runs past the end of the file");
            at += qsizetype(length);
        }
        return fail("the file ends inside the encapsulated pixel data");
    }

private:
    const unsigned char* m_data;
    qsizetype m_size;
};

// Raw deflate data inflated, up to 256 MiB; `complete` when the stream ended within that.
QByteArray inflated(const unsigned char* data, qsizetype size, bool& complete)
{
    constexpr qsizetype limit = qsizetype(256) << 20;
    complete = false;
    z_stream z{};
    if (size > qsizetype(std::numeric_limits<uInt>::max()) || inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return {};
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    QByteArray out;
    int status = Z_OK;
    while (status == Z_OK && out.size() < limit)
    {
        const qsizetype used = out.size();
        out.resize(std::min(limit, std::max<qsizetype>(2 * used, 1 << 16)));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        z.avail_out = uInt(out.size() - used);
        status = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - qsizetype(z.avail_out));
    }
    inflateEnd(&z);
    complete = status == Z_STREAM_END;
    return out;
}

// Whether GDCM reads the data set as an implicit little endian whole of known length, adding
// up its elements: it does when it does not take what follows the preamble for a meta header
// (or sees no preamble). Its own header reader decides, on the bytes, as in its file reader.
bool gdcmAddsUpDataSet(const QByteArray& bytes, bool preamble)
{
    struct Bytes : std::streambuf
    {
        explicit Bytes(const QByteArray& b)
        {
            char* begin = const_cast<char*>(b.constData()); // only read
            setg(begin, begin, begin + b.size());
        }
        pos_type seekoff(off_type offset, std::ios_base::seekdir from, std::ios_base::openmode) override
        {
            const off_type base = from == std::ios_base::beg ? 0 : from == std::ios_base::cur ? gptr() - eback() : egptr() - eback();
            if (offset < -base || offset > (egptr() - eback()) - base)
                return pos_type(off_type(-1));
            setg(eback(), eback() + base + offset, egptr());
            return pos_type(base + offset);
        }
        pos_type seekpos(pos_type position, std::ios_base::openmode which) override
        {
            return seekoff(off_type(position), std::ios_base::beg, which);
        }
    } buffer(bytes);
    std::istream stream(&buffer);
    gdcm::FileMetaInformation header;
    bool meta = false;
    try
    {
        stream.seekg(preamble ? 132 : 0);
        if (!preamble)
            header.ReadCompat(stream);
        else
            try
            {
                header.Read(stream);
                meta = true;
            }
            catch (const std::exception&)
            {
                stream.clear();
                stream.seekg(132);
                try
                {
                    header.ReadCompat(stream);
                }
                catch (const std::exception&)
                {
                }
            }
    }
    catch (const std::exception&)
    {
        meta = false;
    }
    meta = meta && !header.IsEmpty();
    const gdcm::TransferSyntax& syntax = header.GetDataSetTransferSyntax();
    return syntax.IsValid() && syntax != gdcm::TransferSyntax::DeflatedExplicitVRLittleEndian &&
           syntax.GetSwapCode() == gdcm::SwapCode::LittleEndian &&
           syntax.GetNegociatedType() == gdcm::TransferSyntax::Implicit && !(meta && preamble);
}

} // namespace

DicomStructure checkDicomStructure(const QByteArray& bytes)
{
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    Walker walk(d, n);
    DicomStructure result;
    qsizetype at = 0;
    const bool preamble = n >= 132 && std::memcmp(d + 128, "DICM", 4) == 0;
    if (preamble)
        at = 132;
    // GDCM takes a file that starts with group 0002 for one with a meta header.
    const bool meta = n - at >= 2 && walk.u16(at, false) == 0x0002;
    auto damaged = [&](const QString& why) {
        result.verdict = preamble || meta ? DicomStructure::Damaged : DicomStructure::NotDicom;
        result.problem = why;
        return result;
    };
    if (preamble && !meta)
        return damaged(QStringLiteral("no meta header after the preamble"));

    // The meta group is always explicit VR little endian.
    QByteArray transferSyntax;
    bool mediaStorageSeen = false, transferSyntaxSeen = false;
    while (meta && at < n && (n - at < 2 || walk.u16(at, false) == 0x0002))
    {
        if (n - at < 8)
            return damaged(QStringLiteral("the file ends inside its header"));
        if (!isVr(d + at + 4))
            return damaged(QStringLiteral("a header element without a valid value representation"));
        // GDCM's header reader asserts on a sequence there, whatever its length.
        if (d[at + 4] == 'S' && d[at + 5] == 'Q')
            return damaged(QStringLiteral("a sequence in the header"));
        const std::uint16_t element = walk.u16(at + 2, false);
        qsizetype header = 8;
        std::uint32_t length = walk.u16(at + 6, false);
        if (hasLongLength(d + at + 4))
        {
            if (n - at < 12)
                return damaged(QStringLiteral("the file ends inside its header"));
            header = 12;
            length = walk.u32(at + 8, false);
        }
        if (length == undefinedLength || length > std::uint64_t(n - at - header))
            return damaged(QStringLiteral("the file ends inside its header"));
        // GDCM keeps the first of two equal tags.
        const QByteArray value = uidText(d + at + header, length);
        if (element == 0x0002 && !std::exchange(mediaStorageSeen, true))
            result.mediaStorage = value;
        else if (element == 0x0010 && !std::exchange(transferSyntaxSeen, true))
            transferSyntax = value;
        at += header + qsizetype(length);
    }
    if (meta && n - at < 8)
        return damaged(QStringLiteral("the file ends inside its header"));
    if (n - at < 8)
        return damaged(QStringLiteral("too short for a data set"));

    Syntax syntax;
    if (transferSyntax == "1.2.840.10008.1.2.1.99")
    {
        // Deflated: GDCM inflates the rest and parses that, so that is what is walked.
        bool complete = false;
        const QByteArray set = inflated(d + at, n - at, complete);
        if (!complete)
            return damaged(QStringLiteral("its deflated data set is damaged"));
        Walker inner(reinterpret_cast<const unsigned char*>(set.constData()), set.size());
        qsizetype from = 0;
        if (set.size() < 8 || !inner.elements(from, set.size(), Syntax{}, 0, false))
            return damaged(inner.problem.isEmpty() ? QStringLiteral("too short for a data set") : inner.problem);
        result.verdict = DicomStructure::Sound;
        result.pixelBytes = inner.pixelBytes;
        result.pixelLength = inner.pixelLength;
        result.encapsulated = inner.encapsulated;
        return result;
    }
    if (transferSyntax == "1.2.840.10008.1.2")
        syntax = Syntax{false, false};
    else if (transferSyntax == "1.2.840.10008.1.2.2")
        syntax = Syntax{true, true};
    else if (transferSyntax.isEmpty() && !guessedSyntax(d + at, n - at, syntax))
        return damaged(QStringLiteral("its first element does not show the form of its data set"));
    if (!walk.elements(at, n, syntax, 0, false))
        return damaged(walk.problem);
    // Asked only when such an item was seen.
    if (walk.oddItemOutsideSums && gdcmAddsUpDataSet(bytes, preamble))
        return damaged(QStringLiteral("an item of undefined length holds an odd number of bytes"));
    // GDCM asserts on some files whose header and data set name different kinds of object.
    if (!result.mediaStorage.isEmpty() && !walk.sopClass.isEmpty() && walk.sopClass != result.mediaStorage)
        return damaged(QStringLiteral("its header and its data set name different kinds of object"));
    // GDCM asserts when the header names a kind of object it knows is not an image and the
    // data set names none, unless it takes the file for ACR-NEMA (implicit big endian, guessed).
    if (walk.sopClass.isEmpty() && !result.mediaStorage.isEmpty() &&
        !(transferSyntax.isEmpty() && !syntax.explicitVr && syntax.bigEndian))
    {
        const gdcm::MediaStorage::MSType kind = gdcm::MediaStorage::GetMSType(result.mediaStorage.constData());
        if (kind != gdcm::MediaStorage::MS_END && kind != gdcm::MediaStorage::MediaStorageDirectoryStorage &&
            !gdcm::MediaStorage::IsImage(kind))
            return damaged(QStringLiteral("its header names an object that is not an image and its data set none"));
    }
    result.verdict = DicomStructure::Sound;
    result.pixelBytes = walk.pixelBytes;
    result.pixelLength = walk.pixelLength;
    result.encapsulated = walk.encapsulated;
    return result;
}

DicomStructure checkDicomFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {DicomStructure::NotDicom, QStringLiteral("cannot be read"), {}};
    const qint64 size = file.size();
    if (size <= 0)
        return {DicomStructure::NotDicom, QStringLiteral("empty"), {}};
    if (uchar* mapped = file.map(0, size))
    {
        const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(size));
        DicomStructure result = checkDicomStructure(bytes);
        file.unmap(mapped);
        return result;
    }
    return checkDicomStructure(file.readAll());
}

} // namespace ctvolume

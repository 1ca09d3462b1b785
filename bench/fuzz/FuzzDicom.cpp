// DICOM decoding as the tool's decoder child runs it (header checks, decoding, the result
// record), on one file.
#include "DecoderChild.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::quietProcess();
    tool::decodeDicomToStdout(fuzzing::scratchFile(QStringLiteral("input.dcm"), data, size));
    return 0;
}

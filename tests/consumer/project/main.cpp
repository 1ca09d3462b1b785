// A user of the installed library: builds an image, hands it to an algorithm and reads
// the warning the library logs for a missing parameter.
#include <image2d/image2d.h>

#include <QtGlobal>

#include <cstdio>

namespace {
QString g_lastWarning;
void handler(QtMsgType, const QMessageLogContext&, const QString& message) { g_lastWarning = message; }

class NeedsGain : public image2d::Algorithm
{
public:
    bool isInputValid() const override
    {
        return requireInputImage("consumer::NeedsGain", INPUT_IMAGE) &&
               requireFloat("consumer::NeedsGain", QStringLiteral("gain")).hasValue();
    }
    bool process(const std::atomic<bool>&) override { return true; }
};
} // namespace

int main()
{
    qInstallMessageHandler(handler);
    Image2D image(4, 3, Image2D::UNSIGNED_SHORT);
    NeedsGain algorithm;
    algorithm.setInput(image2d::Algorithm::INPUT_IMAGE, &image);
    const std::atomic<bool> cancel{false};
    const bool ran = algorithm.execute(cancel);
    const bool ok = !ran && g_lastWarning == "consumer::NeedsGain : missing input:  \"gain\"" &&
                    QString(IMAGE2D_VERSION_STRING).count('.') == 2;
    std::printf("consumer: %s (%s)\n", ok ? "ok" : "failed", qPrintable(g_lastWarning));
    return ok ? 0 : 1;
}

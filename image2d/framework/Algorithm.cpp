#include "image2d/framework/Algorithm.h"

#include "image2d/framework/Log.h"
#include "image2d/framework/Parameters.h"

#include <QByteArray>

namespace image2d {

const QString Algorithm::INPUT_IMAGE = QStringLiteral("inputImage");
const QString Algorithm::OUTPUT_IMAGE = QStringLiteral("outputImage");

Algorithm::Algorithm() = default;
Algorithm::Algorithm(const Algorithm& other) = default;
Algorithm& Algorithm::operator=(const Algorithm& other) = default;
Algorithm::~Algorithm() = default;

bool Algorithm::execute(const std::atomic<bool>& cancel)
{
    m_failure = {};
    if (!isInputValid())
    {
        fail(FailureReason::Invalid);
        setSuccess(false);
        return false;
    }
    const bool success = process(cancel);
    setSuccess(success);
    if (cancel.load())
        fail(FailureReason::Cancelled);
    else if (!success)
        fail(FailureReason::Failed);
    if (!success || cancel.load())
        return success;
    for (auto it = m_outputs.cbegin(); it != m_outputs.cend(); ++it)
        if (it.value())
            it.value()->editFinished();
    return success;
}

bool Algorithm::fail(FailureReason::Kind kind, const QString& key, const QString& step) const
{
    if (!m_failure)
        m_failure = FailureReason{kind, key, step};
    return false;
}

QString FailureReason::describe() const
{
    QString text;
    switch (kind)
    {
    case None: return QStringLiteral("no failure");
    case Missing: text = QStringLiteral("missing input"); break;
    case Invalid: text = QStringLiteral("invalid input"); break;
    case OutOfRange: text = QStringLiteral("value out of range"); break;
    case UnsupportedType: text = QStringLiteral("pixel type not supported"); break;
    case Cancelled: text = QStringLiteral("cancelled"); break;
    case Failed: text = QStringLiteral("processing failed"); break;
    }
    if (!key.isEmpty())
        text += QStringLiteral(" \"%1\"").arg(key);
    if (!step.isEmpty())
        text += QStringLiteral(" in %1").arg(step);
    return text;
}

void Algorithm::setInput(const QString& name, const Image2D* image)
{
    if (!image)
    {
        warning("image2d::Algorithm : null image given for input:", name);
        m_inputs.remove(name);
        return;
    }
    m_inputs.insert(name, std::make_shared<Image2D>(*image));
}

void Algorithm::setSharedInput(const QString& name, std::shared_ptr<Image2D> image)
{
    m_inputs.insert(name, std::move(image));
}

void Algorithm::setSharedOutput(const QString& name, std::shared_ptr<Image2D> image)
{
    m_outputs.insert(name, std::move(image));
}

bool Algorithm::checkInputImage(const QString& name) const
{
    const std::shared_ptr<Image2D> image = getSharedInput(name);
    if (!image)
    {
        warning("missing input image: ", name);
        return fail(FailureReason::Missing, name);
    }
    if (!image->isValid())
    {
        warning("invalid input image: ", name);
        return fail(FailureReason::Invalid, name);
    }
    return true;
}

void Algorithm::warnMissingInput(const char* owner, const QString& key)
{
    warnMissingKey(owner, key);
}

void Algorithm::warnInvalidInput(const char* owner, const QString& key)
{
    warnInvalidKey(owner, key);
}

bool Algorithm::requireInputImage(const char* owner, const QString& key) const
{
    const std::shared_ptr<Image2D> image = getSharedInput(key);
    if (!image)
    {
        warnMissingInput(owner, key);
        return fail(FailureReason::Missing, key);
    }
    if (!image->isValid())
    {
        warnInvalidInput(owner, key);
        return fail(FailureReason::Invalid, key);
    }
    return true;
}

namespace {

template <typename T, typename Getter>
utility::Optional<T> requireValue(const Algorithm& algorithm, const char* owner, const QString& key, Getter getter)
{
    if (!algorithm.getUniformValue(key).isValid())
    {
        warnMissingKey(owner, key);
        algorithm.fail(FailureReason::Missing, key);
        return {};
    }
    utility::Optional<T> value = (algorithm.*getter)(key);
    if (!value)
    {
        warnInvalidKey(owner, key);
        algorithm.fail(FailureReason::Invalid, key);
    }
    return value;
}

} // namespace

utility::Optional<double> Algorithm::requireDouble(const char* owner, const QString& key) const
{
    return requireValue<double>(*this, owner, key, &Uniforms::getUniformDoubleValue);
}

utility::Optional<float> Algorithm::requireFloat(const char* owner, const QString& key) const
{
    return requireValue<float>(*this, owner, key, &Uniforms::getUniformFloatValue);
}

utility::Optional<int> Algorithm::requireInt(const char* owner, const QString& key) const
{
    return requireValue<int>(*this, owner, key, &Uniforms::getUniformIntValue);
}

std::unique_ptr<Image2D> copy(std::shared_ptr<Image2D> image)
{
    if (!image)
        return nullptr;
    return std::make_unique<Image2D>(*image);
}

} // namespace image2d

#include "image2d/framework/Algorithm.h"

#include "image2d/framework/Log.h"

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
    if (!isInputValid())
    {
        setSuccess(false);
        return false;
    }
    const bool success = process(cancel);
    setSuccess(success);
    if (!success || cancel.load())
        return success;
    for (auto it = m_outputs.cbegin(); it != m_outputs.cend(); ++it)
        if (it.value())
            it.value()->editFinished();
    return success;
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
        return false;
    }
    if (!image->isValid())
    {
        warning("invalid input image: ", name);
        return false;
    }
    return true;
}

void Algorithm::warnMissingInput(const char* owner, const QString& key)
{
    const QByteArray text = QByteArray(owner) + " : missing input: ";
    warning(text.constData(), key);
}

void Algorithm::warnInvalidInput(const char* owner, const QString& key)
{
    const QByteArray text = QByteArray(owner) + " : invalid input: ";
    warning(text.constData(), key);
}

bool Algorithm::requireInputImage(const char* owner, const QString& key) const
{
    const std::shared_ptr<Image2D> image = getSharedInput(key);
    if (!image)
    {
        warnMissingInput(owner, key);
        return false;
    }
    if (!image->isValid())
    {
        warnInvalidInput(owner, key);
        return false;
    }
    return true;
}

namespace {

template <typename T, typename Getter>
utility::Optional<T> requireValue(const Uniforms& uniforms, const char* owner, const QString& key, Getter getter,
                                  void (*missing)(const char*, const QString&),
                                  void (*invalid)(const char*, const QString&))
{
    if (!uniforms.getUniformValue(key).isValid())
    {
        missing(owner, key);
        return {};
    }
    utility::Optional<T> value = (uniforms.*getter)(key);
    if (!value)
        invalid(owner, key);
    return value;
}

} // namespace

utility::Optional<double> Algorithm::requireDouble(const char* owner, const QString& key) const
{
    return requireValue<double>(*this, owner, key, &Uniforms::getUniformDoubleValue, warnMissingInput, warnInvalidInput);
}

utility::Optional<float> Algorithm::requireFloat(const char* owner, const QString& key) const
{
    return requireValue<float>(*this, owner, key, &Uniforms::getUniformFloatValue, warnMissingInput, warnInvalidInput);
}

utility::Optional<int> Algorithm::requireInt(const char* owner, const QString& key) const
{
    return requireValue<int>(*this, owner, key, &Uniforms::getUniformIntValue, warnMissingInput, warnInvalidInput);
}

std::unique_ptr<Image2D> copy(std::shared_ptr<Image2D> image)
{
    if (!image)
        return nullptr;
    return std::make_unique<Image2D>(*image);
}

} // namespace image2d

#pragma once

#include "image2d/framework/Uniforms.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/task/Calculation.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Common base of every 2D algorithm: named input and output images, named
/// parameters (the Uniforms base), validation and execution with cancellation.
class Algorithm : public Calculation, public Uniforms
{
public:
    static const QString INPUT_IMAGE;  ///< "inputImage"
    static const QString OUTPUT_IMAGE; ///< "outputImage"

    Algorithm();
    Algorithm(const Algorithm& other);
    Algorithm& operator=(const Algorithm& other);
    ~Algorithm() override;

    /// Validates, processes and finalises the outputs (editFinished on each), unless
    /// validation fails, processing fails or `cancel` is set. Returns the success flag.
    virtual bool execute(const std::atomic<bool>& cancel);

    /// True when the inputs and parameters allow a run; logs the reason otherwise.
    virtual bool isInputValid() const = 0;
    /// Computes and stores the outputs; returns success.
    virtual bool process(const std::atomic<bool>& cancel) = 0;

    /// Stores a deep copy of *image under `name`. A null image clears the slot.
    void setInput(const QString& name, const Image2D* image);
    /// Stores the pointer itself (no copy) under `name`.
    void setSharedInput(const QString& name, std::shared_ptr<Image2D> image);
    void setSharedOutput(const QString& name, std::shared_ptr<Image2D> image);
    /// The stored pointer, or an empty one when `name` is absent.
    std::shared_ptr<Image2D> getSharedInput(const QString& name) const { return m_inputs.value(name); }
    std::shared_ptr<Image2D> getSharedOutput(const QString& name) const { return m_outputs.value(name); }

    /// False with "missing input image: <name>" when absent or empty, false with
    /// "invalid input image: <name>" when not valid, true otherwise.
    bool checkInputImage(const QString& name) const;

protected:
    /// Validation in the "<owner> : missing input: <key>" / "<owner> : invalid input: <key>"
    /// form that every algorithm reports in; `owner` is the full class name,
    /// e.g. "image2d::Invert".
    bool requireInputImage(const char* owner, const QString& key) const;
    /// Reads a parameter that must be present and convert to double / float / int;
    /// warns "<owner> : missing input: <key>" or "<owner> : invalid input: <key>".
    utility::Optional<double> requireDouble(const char* owner, const QString& key) const;
    utility::Optional<float> requireFloat(const char* owner, const QString& key) const;
    utility::Optional<int> requireInt(const char* owner, const QString& key) const;

    /// Logs "<owner> : missing input: <key>" / "<owner> : invalid input: <key>".
    static void warnMissingInput(const char* owner, const QString& key);
    static void warnInvalidInput(const char* owner, const QString& key);

private:
    QHash<QString, std::shared_ptr<Image2D>> m_inputs;
    QHash<QString, std::shared_ptr<Image2D>> m_outputs;
};

/// A new deep copy of the image, or an empty pointer when given an empty one.
std::unique_ptr<Image2D> copy(std::shared_ptr<Image2D> image);

} // namespace image2d

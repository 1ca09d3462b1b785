#pragma once

// The algorithm base. House style: every family has typed core functions in namespace
// image2d (const Image2D& and typed values in, the result image or a small struct out, the
// algorithm's own warnings, no Uniforms), documented in the family's header, and thin
// Algorithm classes on top for the host: isInputValid() checks the input images and then
// each declared parameter in order (Parameters.h), recording the reason with fail();
// process() reads the typed values, calls the core and publish()es. Composites call the
// cores of their parts, never other Algorithm objects. filtering/LocalStatistics.h is the
// worked example.

#include "image2d/framework/Uniforms.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/task/Calculation.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Why the last run of an algorithm failed, kept beside the warning so that a caller can
/// say which input or parameter was to blame.
struct FailureReason
{
    enum Kind
    {
        None,            ///< the last run succeeded (or none ran)
        Missing,         ///< an input image or a required parameter is absent
        Invalid,         ///< an image is not valid or a value does not convert
        OutOfRange,      ///< a value converts but lies outside what the algorithm accepts
        UnsupportedType, ///< the pixel type of an input is not supported
        Cancelled,       ///< the caller's cancellation flag was set
        Failed,          ///< processing failed otherwise (e.g. no memory for the result)
    };
    Kind kind = None;
    QString key;  ///< the input slot or parameter key to blame, when there is one
    QString step; ///< the step of a composite that failed (a filter identifier), when known

    explicit operator bool() const { return kind != None; }
    /// One line for people: "missing input \"radius\"", "pixel type not supported in Sharpen".
    QString describe() const;
};

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

    /// Why the last execute() failed (kind None after a success).
    const FailureReason& lastFailure() const { return m_failure; }
    /// Records the reason of a failure and returns false, so a check can end with it.
    /// Keeps the first reason recorded during a run.
    bool fail(FailureReason::Kind kind, const QString& key = {}, const QString& step = {}) const;

protected:
    /// Publishes a core function's result under `key` and returns true. An empty result
    /// fails the run instead: the reason is UnsupportedType when `input`'s pixel type is not
    /// in `Supported` (the core has warned), Failed otherwise.
    template <typename Supported>
    bool publish(const QString& key, std::shared_ptr<Image2D> result, const Image2D& input, Supported)
    {
        if (!result)
            return fail(Supported::contains(input.getDataType()) ? FailureReason::Failed
                                                                  : FailureReason::UnsupportedType,
                        INPUT_IMAGE);
        setSharedOutput(key, std::move(result));
        return true;
    }

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
    // Set by the const checks of isInputValid as well as by process.
    mutable FailureReason m_failure;
    QHash<QString, std::shared_ptr<Image2D>> m_outputs;
};

/// A new deep copy of the image, or an empty pointer when given an empty one.
std::unique_ptr<Image2D> copy(std::shared_ptr<Image2D> image);

} // namespace image2d

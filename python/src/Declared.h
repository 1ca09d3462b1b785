#pragma once

// Python functions made from the parameter declarations of the algorithm classes: keyword
// names, defaults, kinds, bounds and docs all come from the Parameter objects, so a binding
// states only which core function to call with which declared parameters, e.g.
//     define(m, "sharpen", "...", {"image"}, typesOf<SharpenTypes>(),
//            [](Images& in, int radius, float factor) { return sharpen(in[0], radius, factor); },
//            DECLARED(Sharpen, RADIUS), DECLARED(Sharpen, FACTOR));
// The functions take the images and the parameters by position or by keyword and a
// keyword-only pixel_size; their docstring starts with a text signature, so
// inspect.signature() shows the real parameters.

#include "Calls.h"
#include "Results.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Parameters.h"

#include <QPoint>

#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace bindings {

/// One declared parameter as a Python keyword: the declaration and the name of its constant
/// without "_PARAMETER", in lower case (RADIUS_PARAMETER: radius).
template <typename T>
struct Declared
{
    const image2d::Parameter<T>& parameter;
    std::string name;
};

std::string pythonName(const char* constantName);

template <typename T>
Declared<T> declared(const image2d::Parameter<T>& parameter, const char* constantName)
{
    return Declared<T>{parameter, pythonName(constantName)};
}
#define DECLARED(Class, NAME) ::bindings::declared(Class::NAME##_PARAMETER, #NAME)

/// What the docs say about a Python argument.
struct Argument
{
    std::string name;
    py::object fallback; ///< null: required
    std::string kind;    ///< "int", "float", ...
    std::string doc;
};

/// Argument of a declaration: its kind, bounds and doc; its fallback as the default
/// (a NaN fallback is None).
Argument argumentOf(const image2d::ParameterInfo& parameter, const std::string& name);

/// The pixel types of a PixelTypes set, as dtype names for the docs.
template <typename Supported>
std::string typesOf(Supported = {})
{
    static const std::pair<Image2D::DataType, const char*> names[] = {
        {Image2D::UNSIGNED_SHORT, "uint16"}, {Image2D::SHORT, "int16"}, {Image2D::UNSIGNED_CHAR, "uint8"},
        {Image2D::BINARY, "bool"},           {Image2D::FLOAT, "float32"}, {Image2D::INT, "int32"}};
    std::string text;
    for (const auto& [code, name] : names)
        if (Supported::contains(code))
            text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

/// A function's Python signature and docs.
struct Signature
{
    std::string function;
    std::string summary;
    std::vector<std::string> images;
    std::string pixelTypes;
    std::vector<Argument> arguments;

    /// Text signature, summary and a numpydoc parameter list.
    std::string doc() const;
    /// One object per image and argument (defaults filled in) and the pixel_size keyword;
    /// TypeError for missing, unknown or repeated arguments.
    std::vector<py::object> parse(const py::args& args, const py::kwargs& kwargs, py::object& pixelSize) const;
};

/// Registers the function under `signature.function`; `call` gets the parsed objects.
void defineFunction(py::module_& m, Signature signature,
                    std::function<py::object(const Signature&, std::vector<py::object>&, const py::object&)> call);

/// The images of one call.
using Images = std::vector<Image2D>;

/// A Python value as a declared parameter's type (None as NaN for floating types).
template <typename T>
T fromPython(const py::object& value, const Signature& signature, const Argument& argument)
{
    try
    {
        if constexpr (std::is_floating_point_v<T>)
            return value.is_none() ? std::numeric_limits<T>::quiet_NaN() : value.cast<T>();
        else if constexpr (std::is_same_v<T, QPoint>)
        {
            const auto pair = value.cast<std::pair<int, int>>();
            return QPoint(pair.first, pair.second);
        }
        else if constexpr (std::is_same_v<T, QString>)
            return QString::fromStdString(value.cast<std::string>());
        else if constexpr (std::is_same_v<T, QVariant>)
            return QVariant(value.cast<double>());
        else if constexpr (std::is_enum_v<T>)
            return static_cast<T>(value.cast<int>());
        else if constexpr (std::is_same_v<T, bool>)
        {
            // Strict: an int is no flag (numpy.bool_ is).
            if (!py::isinstance<py::bool_>(value) && !py::hasattr(value, "dtype"))
                throw py::cast_error();
            return value.cast<bool>();
        }
        else
            return value.cast<T>();
    }
    catch (const py::cast_error&)
    {
        throw py::type_error(signature.function + "(): " + argument.name + " must be " + argument.kind + ", not " +
                             py::str(py::type::of(value).attr("__name__")).cast<std::string>());
    }
}

template <typename... T, std::size_t... I>
std::tuple<T...> typedValues(const Signature& s, const std::vector<py::object>& objects, std::index_sequence<I...>)
{
    const std::size_t first = s.images.size();
    return std::tuple<T...>{fromPython<T>(objects[first + I], s, s.arguments[I])...};
}

/// Defines `name` calling `core(images, values...)` with the declared parameters' values;
/// the core runs without the GIL, and its result becomes Python values (toPython).
template <typename Core, typename... T>
void define(py::module_& m, const char* name, const char* summary, std::vector<std::string> images,
            std::string pixelTypes, Core core, Declared<T>... parameters)
{
    Signature signature{name, summary, std::move(images), std::move(pixelTypes), {argumentOf(parameters.parameter, parameters.name)...}};
    defineFunction(m, std::move(signature),
                   [core](const Signature& s, std::vector<py::object>& objects, const py::object& pixelSize) {
                       std::vector<InputImage> inputs;
                       Images images;
                       for (std::size_t i = 0; i < s.images.size(); ++i)
                       {
                           inputs.push_back(toImage(objects[i], s.images[i].c_str(), pixelSize));
                           images.push_back(std::move(inputs.back().image));
                       }
                       std::tuple<T...> values = typedValues<T...>(s, objects, std::index_sequence_for<T...>{});
                       auto result = callLibrary(s.function.c_str(), [&] {
                           return std::apply([&](auto&... v) { return core(images, v...); }, values);
                       });
                       return toPython(std::move(result));
                   });
}

} // namespace bindings

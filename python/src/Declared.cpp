#include "Declared.h"

#include <cctype>
#include <deque>
#include <sstream>

namespace bindings {

std::string pythonName(const char* constantName)
{
    std::string name(constantName);
    for (char& c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

namespace {

py::object fallbackOf(const image2d::ParameterInfo& parameter)
{
    const QVariant value = parameter.fallback();
    if (!value.isValid())
        return py::object();
    switch (parameter.readAs())
    {
    case image2d::ValueKind::Int:
    case image2d::ValueKind::Enumeration: return py::int_(value.toInt());
    case image2d::ValueKind::UInt: return py::int_(value.toUInt());
    case image2d::ValueKind::Float:
    case image2d::ValueKind::Double:
    case image2d::ValueKind::Variant:
        // A NaN fallback means "not given" (the image centre, ...): None in Python.
        return std::isnan(value.toDouble()) ? py::object(py::none()) : py::object(py::float_(value.toDouble()));
    case image2d::ValueKind::Bool: return py::bool_(value.toBool());
    case image2d::ValueKind::Point: return py::make_tuple(value.toPoint().x(), value.toPoint().y());
    case image2d::ValueKind::Text: return py::str(value.toString().toStdString());
    }
    return py::none();
}

const char* pythonKind(image2d::ValueKind kind)
{
    switch (kind)
    {
    case image2d::ValueKind::Int: return "int";
    case image2d::ValueKind::UInt: return "int >= 0";
    case image2d::ValueKind::Float:
    case image2d::ValueKind::Double:
    case image2d::ValueKind::Variant: return "float";
    case image2d::ValueKind::Bool: return "bool";
    case image2d::ValueKind::Point: return "(x, y)";
    case image2d::ValueKind::Text: return "str";
    case image2d::ValueKind::Enumeration: return "int";
    }
    return "object";
}

std::string literal(const py::object& value)
{
    return py::repr(value).cast<std::string>();
}

} // namespace

Argument argumentOf(const image2d::ParameterInfo& parameter, const std::string& name)
{
    Argument argument{name, fallbackOf(parameter), pythonKind(parameter.readAs()), parameter.doc()};
    const image2d::ValueKind kind = parameter.readAs();
    const bool numeric = kind == image2d::ValueKind::Int || kind == image2d::ValueKind::UInt ||
                         kind == image2d::ValueKind::Float || kind == image2d::ValueKind::Double;
    const QString bounds = parameter.bounds().describe();
    if (numeric && parameter.validated() && bounds != QLatin1String("any number"))
        argument.doc += "; " + bounds.toStdString();
    if (!parameter.validated())
        argument.doc += "; lenient: the default stands in for an unusable value";
    argument.doc += ". Key \"" + parameter.key().toStdString() + "\".";
    return argument;
}

std::string Signature::doc() const
{
    std::ostringstream text;
    text << function << '(';
    bool first = true;
    for (const std::string& image : images)
    {
        text << (first ? "" : ", ") << image;
        first = false;
    }
    for (const Argument& a : arguments)
    {
        text << (first ? "" : ", ") << a.name;
        if (a.fallback)
            text << '=' << literal(a.fallback);
        first = false;
    }
    if (!images.empty())
        text << (first ? "" : ", ") << "*, pixel_size=None";
    text << ")\n--\n\n" << summary << "\n\nParameters\n----------\n";
    for (const std::string& image : images)
        text << image << " : 2-D array of " << (pixelTypes.empty() ? "any pixel type" : pixelTypes)
             << "\n    Read in place when C-contiguous.\n";
    for (const Argument& a : arguments)
        text << a.name << " : " << a.kind << (a.fallback ? ", optional" : "") << "\n    " << a.doc << '\n';
    if (!images.empty())
        text << "pixel_size : float or (x, y), optional\n"
                "    Pixel size in mm of the input; default: that of a result of this module, else 1.\n";
    text << "\nRaises\n------\nValueError\n    with the library's warning when the call fails.\n";
    return text.str();
}

std::vector<py::object> Signature::parse(const py::args& args, const py::kwargs& kwargs, py::object& pixelSize) const
{
    const std::size_t count = images.size() + arguments.size();
    std::vector<py::object> objects(count);
    if (args.size() > count)
        throw py::type_error(function + "() takes " + std::to_string(count) + " positional arguments but " +
                             std::to_string(args.size()) + " were given");
    for (std::size_t i = 0; i < args.size(); ++i)
        objects[i] = args[i];
    auto nameOf = [&](std::size_t i) -> const std::string& {
        return i < images.size() ? images[i] : arguments[i - images.size()].name;
    };
    for (const auto& [key, value] : kwargs)
    {
        const std::string name = key.cast<std::string>();
        if (name == "pixel_size" && !images.empty())
        {
            pixelSize = py::reinterpret_borrow<py::object>(value);
            continue;
        }
        std::size_t i = 0;
        while (i < count && nameOf(i) != name)
            ++i;
        if (i == count)
            throw py::type_error(function + "() got an unexpected keyword argument '" + name + "'");
        if (objects[i])
            throw py::type_error(function + "() got multiple values for argument '" + name + "'");
        objects[i] = py::reinterpret_borrow<py::object>(value);
    }
    for (std::size_t i = 0; i < count; ++i)
        if (!objects[i])
        {
            if (i < images.size() || !arguments[i - images.size()].fallback)
                throw py::type_error(function + "() missing required argument: '" + nameOf(i) + "'");
            objects[i] = arguments[i - images.size()].fallback;
        }
    return objects;
}

void defineFunction(py::module_& m, Signature signature,
                    std::function<py::object(const Signature&, std::vector<py::object>&, const py::object&)> call)
{
    // pybind11 keeps the docstring pointer: the texts live as long as the module.
    static std::deque<std::string> docs;
    docs.push_back(signature.doc());
    const std::string name = signature.function;
    // The docstring carries the text signature itself.
    py::options options;
    options.disable_function_signatures();
    m.def(
        name.c_str(),
        [signature = std::move(signature), call = std::move(call)](py::args args, py::kwargs kwargs) {
            py::object pixelSize = py::none();
            std::vector<py::object> objects = signature.parse(args, kwargs, pixelSize);
            return call(signature, objects, pixelSize);
        },
        docs.back().c_str());
}

} // namespace bindings

#pragma once

#include "image2d/framework/Uniforms.h"

#include <QHash>
#include <QString>

namespace image2d {

/// The display filters of an image: filter identifier to that filter's parameters.
/// Keeps no order; the processor runs filters in its own fixed order. Copies share the
/// hash until one side changes it.
class FilterSet
{
public:
    FilterSet() = default;
    FilterSet(const FilterSet&) = default;
    FilterSet& operator=(const FilterSet&) = default;
    virtual ~FilterSet();

    /// Sets the parameters of `id`, replacing earlier ones.
    void addFilter(const QString& id, const Uniforms& parameters);
    void removeFilter(const QString& id);
    /// A copy of the parameters of `id`, or empty parameters when `id` is absent.
    Uniforms getFilterParameters(const QString& id) const;
    /// True when `id` is present, whatever its parameters.
    bool isFilterActive(const QString& id) const;
    bool hasActiveFilters() const;

private:
    QHash<QString, Uniforms> m_filters;
};

} // namespace image2d

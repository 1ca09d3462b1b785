#include "image2d/pipeline/FilterSet.h"

namespace image2d {

FilterSet::~FilterSet() = default;

void FilterSet::addFilter(const QString& id, const Uniforms& parameters)
{
    m_filters.insert(id, parameters);
}

void FilterSet::removeFilter(const QString& id)
{
    m_filters.remove(id);
}

Uniforms FilterSet::getFilterParameters(const QString& id) const
{
    return m_filters.value(id);
}

bool FilterSet::isFilterActive(const QString& id) const
{
    return m_filters.contains(id);
}

bool FilterSet::hasActiveFilters() const
{
    return !m_filters.isEmpty();
}

} // namespace image2d

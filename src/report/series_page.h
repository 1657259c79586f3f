// The page of a series of firings.
#pragma once

#include <span>
#include <string>

#include "report/series.h"

namespace kv::report {

std::string series_page(std::span<const SeriesEntry> entries, const SeriesResult& r);

}  // namespace kv::report

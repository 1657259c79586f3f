// The HTML pages: one self-contained file each (inline SVG and CSS, no script, nothing
// fetched from outside), laid out to print on one A4 page.
#pragma once

#include <string>

#include "report/firing.h"

namespace kv::report {

inline constexpr const char* kReportName = "kalvorestine_2p0_report";

// The page of one firing.
std::string firing_page(const Firing& f);

// A figure as the export's table prints it: seven significant digits, "-" when it has no value.
std::string figure(double v);

// The head of a page (doctype, style, title) and its end.
std::string page_head(const std::string& title);
inline constexpr const char* kPageEnd = "</body>\n</html>\n";

}  // namespace kv::report

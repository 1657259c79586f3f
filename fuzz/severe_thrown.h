// What the fuzz targets' diagnostics throw in place of ending the run.
#pragma once

namespace fuzz {
struct SevereThrown {
  int number;
  int unit;
};
}  // namespace fuzz

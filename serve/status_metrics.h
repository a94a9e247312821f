#pragma once

#include <string>

#include "serve/station_status.h"

namespace serve {

// The station's status in the Prometheus text format (version 0.0.4): each metric with its
// "# HELP" and "# TYPE" lines, named rdsq7_…; docs/serve.md lists them.
std::string StatusMetrics(const StationStatus& status, const ServeIdentity& identity);

}  // namespace serve

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CsvView.h"

// The chart of tolmstat plot, as sadf -g draws sar's: one line per series
// over time (each a <path class="series">), the time axis in local time, a
// labelled value axis from 0, a legend and a title. A line breaks where a
// row has no value for it, where a row comes after a snapshot known to be
// missing or unreadable, and where the time from the row before is more
// than one and a half times the usual (median) step between rows (snapshots
// never taken).
// Written as SVG text; names and title are escaped.
std::string svgPlot(const std::string& title, const std::vector<std::string>& series,
                    const std::vector<RateRow>& rows);

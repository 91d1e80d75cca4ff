// A board's record: one JSON object on one line, what --json prints and --record appends.
#pragma once

#include <ctime>
#include <string>

#include "job/boardresult.h"

// {"started":"2026-12-07T17:03:12Z","ended":...,"version":...,"operation":...,"port":...,"serial":...|null,
//  "image":...|null,"image_size":N|null,"image_sha256":...|null,"erase":...|null,"sectors_erased":[...],
//  "verified":B,"result":"ok"|"failed"|"interrupted","error":...,"first_difference":N|null,
//  "seconds":S.SSS,"bytes":N,"round_trip_ms":R.RRR} and, for info, "info":..., for sectors,
//  "sectors":[{"number":N,"start":A,"end":A,"status":"unknown"}...]; no line break inside.
std::string FormatRecord(const CBoardResult& result);

// ISO 8601 in UTC to the second: "2026-12-07T17:03:12Z".
std::string FormatUtcTime(std::time_t tTime);

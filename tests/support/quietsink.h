// A job sink for tests and benchmarks that want the workflow's steps without their reports.
#pragma once

#include "job/jobsink.h"

class CQuietSink : public CJobSink
{
public:
    void Log(const std::string&) override {}
    void Error(const std::string&) override {}
    CProgressSink* BeginStep(const CJobStep&) override { return nullptr; }
    void EndStep(bool) override {}
};

#include "link/progresssink.h"

CProgressSink::~CProgressSink() = default;

#pragma once
// The log capture of the texture tests.

#include "CapturingLogSink.h"

using LogCapture = testsupport::ScopedLogCapture;

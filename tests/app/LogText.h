#pragma once
// The log capture of the app tests.

#include "CapturingLogSink.h"

using LogText = testsupport::ScopedLogCapture;

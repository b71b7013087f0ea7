// Filled in with the platform backend: the log's tests need real profile files.
#include "core/ErrorLog.h"

#include <gtest/gtest.h>

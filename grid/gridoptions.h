#pragma once

// The sort grid's owned option records: sorting's and printing's own headers define them.
#include "grid/gridprint.h"
#include "grid/sortcompare.h"

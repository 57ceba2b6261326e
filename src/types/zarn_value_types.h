// The value classes of the build language.
#pragma once

#include "types/zarn_context_value.h"
#include "types/zarn_identifier_value.h"
#include "types/zarn_int.h"
#include "types/zarn_list.h"
#include "types/zarn_path_string.h"
#include "types/zarn_string.h"

#pragma once
/// The whole portable automation runtime in one include.
#include "platform/bstr.hpp"
#include "platform/com_object.hpp"
#include "platform/dispatch.hpp"
#include "platform/error_info.hpp"
#include "platform/guid.hpp"
#include "platform/hresult.hpp"
#include "platform/loader.hpp"
#include "platform/safearray.hpp"
#include "platform/system.hpp"
#include "platform/types.hpp"
#include "platform/unknown.hpp"
#include "platform/variant.hpp"

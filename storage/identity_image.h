// The contents of an identity memory as tests, benchmarks and fuzz targets give them to a board:
// a device whose key is made and, when `model` is given, whose model record is written (as the
// serial number command leaves it). Every other byte reads 0xFF, as on a blank memory.
#pragma once

#include <optional>

#include "storage/identity_memory.h"

bytes::Bytes identityImage(bytes::View deviceKey, const std::optional<ModelData>& model = std::nullopt);

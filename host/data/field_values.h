#pragma once

#include "host/data/data_packet.h"
#include "host/data/variant.h"

// Conversions between values and the field types of a data set; shared by the
// data set and its fields, not part of the screens' interface.
namespace host {

// Whether a packet column of packetType can fill a field of fieldType.
bool fieldTypesCompatible(FieldType fieldType, FieldType packetType);
const char* fieldTypeName(FieldType type);
// The kind of variant a field of that type stores.
VarType naturalVarType(FieldType type);
// The value as a field of that type stores it; an empty text becomes null for
// numbers and dates. Raises EConvertError or EVariantError when it cannot.
Variant valueForField(const Variant& value, FieldType type);

}  // namespace host

// Names and JNI signatures of the Java classes and members the library calls back into.
#pragma once

#define HOST_PACKAGE "com/quorvane/inventory/inventoryagent/"

constexpr const char VECTOR_CLASS[] = "java/util/Vector";
constexpr const char STRING_CLASS[] = "java/lang/String";
constexpr const char RESULT_VECTOR_CLASS[] = HOST_PACKAGE "InventoryResultVector";
constexpr const char ATTRIBUTE_VALUE_CLASS[] = "com/quorvane/inventory/InventoryAttributeValue";
constexpr const char SERVICE_CLASS[] = HOST_PACKAGE "Service";

constexpr const char CONSTRUCTOR[] = "<init>";
constexpr const char NO_ARGUMENT_CONSTRUCTOR_SIGNATURE[] = "()V";
constexpr const char ADD_SIGNATURE[] = "(Ljava/lang/Object;)Z";
constexpr const char SIZE_SIGNATURE[] = "()I";
constexpr const char GET_SIGNATURE[] = "(I)Ljava/lang/Object;";
constexpr const char INT_SETTER_SIGNATURE[] = "(I)V";
constexpr const char STRING_SETTER_SIGNATURE[] = "(Ljava/lang/String;)V";
constexpr const char STRING_FIELD_SIGNATURE[] = "Ljava/lang/String;";
constexpr const char INT_FIELD_SIGNATURE[] = "I";

#undef HOST_PACKAGE

// Names and JNI signatures of the Java classes and members the library calls back into.
#pragma once

#define HOST_PACKAGE "com/quorvane/inventory/inventoryagent/"

constexpr const char kVectorClass[] = "java/util/Vector";
constexpr const char kStringClass[] = "java/lang/String";
constexpr const char kResultVectorClass[] = HOST_PACKAGE "InventoryResultVector";
constexpr const char kAttributeValueClass[] = "com/quorvane/inventory/InventoryAttributeValue";
constexpr const char kServiceClass[] = HOST_PACKAGE "Service";

constexpr const char kConstructorName[] = "<init>";
constexpr const char kNoArgumentConstructorSignature[] = "()V";
constexpr const char kAddSignature[] = "(Ljava/lang/Object;)Z";
constexpr const char kSizeSignature[] = "()I";
constexpr const char kGetSignature[] = "(I)Ljava/lang/Object;";
constexpr const char kIntSetterSignature[] = "(I)V";
constexpr const char kStringSetterSignature[] = "(Ljava/lang/String;)V";
constexpr const char kStringFieldSignature[] = "Ljava/lang/String;";
constexpr const char kIntFieldSignature[] = "I";

#undef HOST_PACKAGE

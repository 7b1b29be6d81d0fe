// The classes the stand-in knows, with their members, and the finding and calling of those
// members as the JVM finds and calls them: by name and signature, inherited ones too.
#pragma once

#include "tests/standin/StandInModel.h"

#include <string>
#include <vector>

namespace standin {

// Builds the class table into state (once, when the stand-in is made).
void BuildClasses(State& state);

// The class of an internal name ("java/lang/String", "[I", "[[Ljava/lang/String;"); array
// classes are made on first use. Null when the stand-in does not know it.
Class* LookUpClass(State& state, const std::string& name);
// The class a reference descriptor names ("Ljava/lang/String;", "[I"); null for a primitive one.
Class* ClassOfDescriptor(State& state, const std::string& descriptor);

// The parameter and return descriptors of a method signature; false when it is malformed.
bool ParseSignature(const std::string& signature, std::vector<std::string>* parameters,
                    std::string* returnType);

// As GetMethodID finds it: in klass, then its superclasses; constructors only in klass itself.
// Null when there is none.
const Method* FindMethod(const Class* klass, const std::string& name, const std::string& signature);
const Field* FindField(const Class* klass, const std::string& name, const std::string& type);
// A native method of an agent class, which the stand-in cannot run: its body is in the library.
bool IsNativeMethod(const Method* method);

// Runs a method's body; exceptions it raises are left pending.
Value Invoke(State& state, const Method* method, Object* self, std::vector<Value> arguments);

// Throwable's message, and the text its toString() gives: the class's name, and ": " and the
// message when it has one.
void SetThrowableMessage(State& state, Object* throwable, Object* message);
std::u16string ThrowableText(State& state, const Object* throwable);

} // namespace standin

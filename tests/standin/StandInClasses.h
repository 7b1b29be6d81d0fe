// The classes the stand-in knows, with their members, and the finding and calling of those
// members as the JVM finds and calls them: by name and signature, inherited ones too, virtual
// calls dispatched on the object's own class.
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

// As GetMethodID (or GetStaticMethodID) finds it: in klass, its superclasses, then its
// superinterfaces (and java.lang.Object for an interface); constructors only in klass itself.
// Null when there is none, or when the one found is static and isStatic is not, or the reverse.
const Method* FindMethod(State& state, const Class* klass, const std::string& name,
                         const std::string& signature, bool isStatic);
const Field* FindField(const Class* klass, const std::string& name, const std::string& type);
// The method that a virtual call of method on an object of class actual runs; one without a
// body when the class implements none.
const Method* Overrider(const Class* actual, const Method* method);
// A native method of an agent class, which the stand-in cannot run: its body is in the library.
bool IsNativeMethod(const Method* method);
// java.lang.Object's toString(), which every object answers.
const Method* ObjectToStringMethod(State& state);

// Runs a method's body; exceptions it raises are left pending.
Value Invoke(State& state, const Method* method, Object* self, std::vector<Value> arguments);

// Throwable's message: what getMessage() returns.
void SetThrowableMessage(State& state, Object* throwable, Object* message);

} // namespace standin

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

// As GetMethodID finds it: in klass or a superclass; constructors only in klass itself.
const Method* FindMethod(const Class* klass, const std::string& name, const std::string& signature);
const Field* FindField(const Class* klass, const std::string& name, const std::string& type);
// The method that a virtual call of method on an object of class actual runs.
const Method* Overrider(const Class* actual, const Method* method);

// Runs a method's body; exceptions it raises are left pending.
Value Invoke(State& state, const Method* method, Object* self, std::vector<Value> arguments);

// Throwable's message: what getMessage() returns.
void SetThrowableMessage(State& state, Object* throwable, Object* message);

} // namespace standin

#pragma once
// Whether an object's class overrides a virtual member function of a base class.
//
// The original asks the runtime whether a class implements drawRect: (or drawInContext:,
// drawLayer:inContext:) and gives a view a backing store only then: an empty drawRect:
// still costs a bitmap, and a view without one keeps whatever contents were set on its
// layer. C++ has no such question, so this reads the slot of the member in the object's
// virtual table and compares it with the slot of a plain instance of the base class. It
// relies on the Itanium C++ ABI (GCC and clang on Linux), whose member function pointers
// to virtual functions hold the slot's byte offset in the table.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zvt {

namespace detail {

struct ItaniumMemberPointer {
  std::uintptr_t ptr;
  std::ptrdiff_t adj;
};

template <class Method>
std::size_t virtualSlot(Method method) {
  static_assert(sizeof(Method) == sizeof(ItaniumMemberPointer), "Itanium C++ ABI member pointers expected");
  ItaniumMemberPointer rep;
  std::memcpy(&rep, &method, sizeof rep);
#if defined(__aarch64__) || defined(__arm__)
  // ARM keeps the virtual flag in the low bit of the adjustment and the offset in ptr.
  return rep.ptr / sizeof(void*);
#else
  return (rep.ptr - 1) / sizeof(void*);
#endif
}

inline const void* virtualEntry(const void* object, std::size_t slot) {
  const void* const* table;
  std::memcpy(&table, object, sizeof table);
  return table[slot];
}

}  // namespace detail

// True when the dynamic class of `object` has its own (or an intermediate class's) definition
// of `method`, a virtual member of Base, where `prototype` is an object of class Base itself.
template <class Base, class Method>
bool overridesVirtual(const Base& object, const Base& prototype, Method method) {
  std::size_t slot = detail::virtualSlot(method);
  return detail::virtualEntry(&object, slot) != detail::virtualEntry(&prototype, slot);
}

}  // namespace zvt

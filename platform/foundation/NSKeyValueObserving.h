#pragma once
// Key-value observing over the key-value coding tables (NSKeyValueCoding.h).
//
//   object->addObserver(observer, "title"_ns, NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld, ctx);
//
// A change is whatever a setter announces with willChangeValueForKey/didChangeValueForKey:
// there is no runtime that rewrites setters, so a property is observable when its setter
// announces its changes. setValueForKey announces for properties that are data members of the
// table (a setter function announces for itself). For each announced change, every observer of
// a key path through that key is sent observeValueForKeyPath on the thread that announced it,
// after the did-change (and, with NSKeyValueObservingOptionPrior, also at the will-change).
//
// - Key paths may run through several objects ("owner.address.city"): a change of any key on
//   the way is a change of the path, and the objects further along are followed anew.
// - A key also changes when one of the key paths its class lists in the table's
//   keyPathsForValuesAffecting answers changes (recursively; cycles are cut).
// - The change dictionary holds NSKeyValueChangeKindKey (always NSKeyValueChangeSetting), the
//   old value (option Old, taken at the will-change) and the new one (option New), NSNull for
//   nil, and NSKeyValueChangeNotificationIsPriorKey (@YES) in a prior notification. Option
//   Initial sends one notification (new value only) from addObserver.
// - Observers are held weakly: a registration whose observer is gone is dropped, as is every
//   registration on an object that is gone. A registration removed on one thread may still
//   see a notification already in flight on another.
// - Registration and notification are safe from any thread; no lock is held while an observer
//   runs, so an observer may change observed values or (un)register.

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

enum NSKeyValueChange : NSUInteger {
  NSKeyValueChangeSetting = 1,
  NSKeyValueChangeInsertion = 2,
  NSKeyValueChangeRemoval = 3,
  NSKeyValueChangeReplacement = 4,
};

inline const zvt::StaticString NSKeyValueChangeKindKey{"kind"};
inline const zvt::StaticString NSKeyValueChangeNewKey{"new"};
inline const zvt::StaticString NSKeyValueChangeOldKey{"old"};
inline const zvt::StaticString NSKeyValueChangeIndexesKey{"indexes"};
inline const zvt::StaticString NSKeyValueChangeNotificationIsPriorKey{"notificationIsPrior"};

namespace zvt {

// How many objects have observers or are on an observed key path (for tests and diagnostics).
size_t observedObjectCount();

// False when no change of any key of `object` can reach an observer (the object has no
// registrations and is on no observed key path); true may also mean "perhaps". A setter that
// announces changes nobody can hear may skip the announcements (but not what else they do).
bool mayBeObserved(const NSObject& object);

}  // namespace zvt

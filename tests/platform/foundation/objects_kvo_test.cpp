// Key-value observing: options, dependent keys, key paths through objects, removal, weak
// observers and changes from several threads.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/foundation/Foundation.h"

namespace {

class Person : public NSObject {
 public:
  std::shared_ptr<NSString> name;  // data member: setValueForKey announces it
  NSInteger age = 0;
  std::shared_ptr<Person> buddy;
  id a, b;  // depend on each other

  std::shared_ptr<NSString> nickname() const { return nickname_; }
  void setNickname(const std::shared_ptr<NSString>& nickname) {
    willChangeValueForKey("nickname");
    nickname_ = nickname;
    didChangeValueForKey("nickname");
  }
  std::shared_ptr<NSString> fullName() const {
    return NSString::stringWithUTF8String(NSStringFromObject(name) + "/" + NSStringFromObject(nickname_));
  }

  static const zvt::KVCClass* classTable() {
    static const zvt::KVCClass table = zvt::KVCClass::Builder<Person>()
                                           .property("name", &Person::name)
                                           .property("age", &Person::age)
                                           .property("buddy", &Person::buddy)
                                           .property("a", &Person::a)
                                           .property("b", &Person::b)
                                           .property("nickname", &Person::nickname, &Person::setNickname)
                                           .readonlyProperty("fullName", &Person::fullName)
                                           .readonlyProperty("buddyName", &Person::fullName)
                                           .keyPathsForValuesAffecting([](const std::string& key) -> std::vector<std::string> {
                                             if (key == "fullName") return {"name", "nickname"};
                                             if (key == "buddyName") return {"buddy.name"};
                                             if (key == "a") return {"b", "name"};
                                             if (key == "b") return {"a", "name"};
                                             return {};
                                           })
                                           .build();
    return &table;
  }
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 private:
  std::shared_ptr<NSString> nickname_;
};

// Records each notification as one line: "path: prior old=.. new=.." (only the parts present).
class Recorder : public NSObject {
 public:
  void observeValueForKeyPath(const std::shared_ptr<NSString>& keyPath, const id& object,
                              const std::shared_ptr<NSDictionary>& change, void* context) override {
    std::string line = keyPath->utf8() + ":";
    EXPECT_EQ(NSStringFromObject(change->objectForKey(NSKeyValueChangeKindKey)), "1");
    if (change->objectForKey(NSKeyValueChangeNotificationIsPriorKey)) line += " prior";
    if (auto old = change->objectForKey(NSKeyValueChangeOldKey)) line += " old=" + NSStringFromObject(old);
    if (auto value = change->objectForKey(NSKeyValueChangeNewKey)) line += " new=" + NSStringFromObject(value);
    {
      std::lock_guard lock(mutex);
      lines.push_back(line);
      objects.push_back(object.get());
      contexts.push_back(context);
    }
    if (onChange) onChange();
  }
  std::vector<std::string> take() {
    std::lock_guard lock(mutex);
    return std::exchange(lines, {});
  }
  std::mutex mutex;
  std::vector<std::string> lines;
  std::vector<const NSObject*> objects;
  std::vector<void*> contexts;
  std::function<void()> onChange;
};

using Lines = std::vector<std::string>;

TEST(ObjectsKVO, OptionsShapeTheChangeForSettersAndKeyValueCoding) {
  const NSKeyValueObservingOptions New = NSKeyValueObservingOptionNew, Old = NSKeyValueObservingOptionOld;
  const NSKeyValueObservingOptions Initial = NSKeyValueObservingOptionInitial, Prior = NSKeyValueObservingOptionPrior;
  struct Case {
    NSKeyValueObservingOptions options;
    Lines expected;  // for the value going from "x" to "y", then to nil
  };
  const Case cases[] = {
      {0, {"k:", "k:"}},
      {New, {"k: new=y", "k: new=<null>"}},
      {Old, {"k: old=x", "k: old=y"}},
      {New | Old, {"k: old=x new=y", "k: old=y new=<null>"}},
      {Initial, {"k:", "k:", "k:"}},
      {Initial | New, {"k: new=x", "k: new=y", "k: new=<null>"}},
      {Prior, {"k: prior", "k:", "k: prior", "k:"}},
      {Prior | Old | New, {"k: prior old=x", "k: old=x new=y", "k: prior old=y", "k: old=y new=<null>"}},
  };
  for (const char* key : {"name", "nickname"}) {  // a data member set by key, a setter that announces
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(key) + " options " + std::to_string(c.options));
      auto person = std::make_shared<Person>();
      auto recorder = std::make_shared<Recorder>();
      auto keyNS = NSString::stringWithUTF8String(key);
      person->setValueForKey("x"_ns, keyNS);
      person->addObserver(recorder, keyNS, c.options, nullptr);
      if (std::string(key) == "name") {
        person->setValueForKey("y"_ns, keyNS);
        person->setValueForKey(nullptr, keyNS);
      } else {
        person->setNickname("y"_ns);
        person->setNickname(nullptr);
      }
      Lines expected;
      for (auto line : c.expected) expected.push_back(key + line.substr(1));
      EXPECT_EQ(recorder->take(), expected);
      person->removeObserver(recorder, keyNS);
      person->setValueForKey("z"_ns, keyNS);
      EXPECT_TRUE(recorder->take().empty());
    }
  }
}

TEST(ObjectsKVO, DependentKeysAndPathsThroughObjects) {
  auto person = std::make_shared<Person>();
  auto first = std::make_shared<Person>();
  auto second = std::make_shared<Person>();
  first->name = "ann"_ns;
  second->name = "bob"_ns;
  auto recorder = std::make_shared<Recorder>();
  const auto New = NSKeyValueObservingOptionNew;
  person->addObserver(recorder, "fullName"_ns, New, nullptr);
  person->addObserver(recorder, "buddy.name"_ns, New | NSKeyValueObservingOptionOld, nullptr);
  person->addObserver(recorder, "buddyName"_ns, 0, nullptr);  // depends on the path buddy.name

  struct Step {
    const char* what;
    std::function<void()> change;
    Lines expected;
  };
  const Step steps[] = {
      {"a key the observed one depends on", [&] { person->setValueForKey("me"_ns, "name"_ns); }, {"fullName: new=me/(null)"}},
      {"the other one, through its setter", [&] { person->setNickname("m"_ns); }, {"fullName: new=me/m"}},
      {"the first key of a path", [&] { person->setValueForKey(first, "buddy"_ns); },
       {"buddy.name: old=<null> new=ann", "buddyName:"}},
      {"the end of the path", [&] { first->setValueForKey("anne"_ns, "name"_ns); },
       {"buddy.name: old=ann new=anne", "buddyName:"}},
      {"the path moves to another object", [&] { person->setValueForKey(second, "buddy"_ns); },
       {"buddy.name: old=anne new=bob", "buddyName:"}},
      {"the object left behind", [&] { first->setValueForKey("gone"_ns, "name"_ns); }, {}},
      {"the new object", [&] { second->setValueForKey("rob"_ns, "name"_ns); }, {"buddy.name: old=bob new=rob", "buddyName:"}},
      {"an unrelated key", [&] { person->setValueForKey(3_n, "age"_ns); }, {}},
      {"the path ends in nil", [&] { person->setValueForKey(nullptr, "buddy"_ns); },
       {"buddy.name: old=rob new=<null>", "buddyName:"}},
      {"nobody on the path any more", [&] { second->setValueForKey("x"_ns, "name"_ns); }, {}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    EXPECT_EQ(recorder->take(), step.expected);
  }
}

TEST(ObjectsKVO, DependencyCyclesAndDiamondsNotifyOnce) {
  auto person = std::make_shared<Person>();  // "a" and "b" depend on each other and on "name"
  auto recorder = std::make_shared<Recorder>();
  person->addObserver(recorder, "a"_ns, NSKeyValueObservingOptionNew, nullptr);
  person->setValueForKey(1_n, "b"_ns);
  person->setValueForKey(2_n, "a"_ns);
  person->setValueForKey("n"_ns, "name"_ns);
  EXPECT_EQ(recorder->take(), (Lines{"a: new=<null>", "a: new=2", "a: new=2"}));
}

TEST(ObjectsKVO, RemovalMatchesObserverPathAndContext) {
  auto person = std::make_shared<Person>();
  auto recorder = std::make_shared<Recorder>();
  int one = 1, two = 2;
  person->addObserver(recorder, "age"_ns, NSKeyValueObservingOptionNew, &one);
  person->addObserver(recorder, "age"_ns, NSKeyValueObservingOptionNew, &two);
  person->setValueForKey(1_n, "age"_ns);
  EXPECT_EQ(recorder->contexts, (std::vector<void*>{&one, &two}));
  EXPECT_EQ(recorder->objects[0], person.get());

  person->removeObserver(recorder, "age"_ns, &one);
  EXPECT_THROW(person->removeObserver(recorder, "age"_ns, &one), NSException);
  EXPECT_THROW(person->removeObserver(recorder, "name"_ns), NSException);
  recorder->contexts.clear();
  person->setValueForKey(2_n, "age"_ns);
  EXPECT_EQ(recorder->contexts, (std::vector<void*>{&two}));
  person->removeObserver(recorder, "age"_ns);
  try {
    person->removeObserver(recorder, "age"_ns);
    ADD_FAILURE();
  } catch (const NSException& e) {
    EXPECT_TRUE(e.name()->isEqualToString(NSRangeException));
    EXPECT_NE(e.reason()->utf8().find("for the key path \"age\" from <Person"), std::string::npos);
  }
}

TEST(ObjectsKVO, ObserversAreHeldWeaklyAndNothingOutlivesItsObjects) {
  const size_t before = zvt::observedObjectCount();
  auto person = std::make_shared<Person>();
  person->buddy = std::make_shared<Person>();
  {
    auto recorder = std::make_shared<Recorder>();
    person->addObserver(recorder, "buddy.name"_ns, NSKeyValueObservingOptionNew, nullptr);
    EXPECT_EQ(zvt::observedObjectCount(), before + 2);  // the observed object and its buddy
  }
  person->buddy->setValueForKey("x"_ns, "name"_ns);  // the observer is gone: nobody is told
  EXPECT_EQ(zvt::observedObjectCount(), before);

  // An observer that removes itself when it is destroyed, and one left registered on an
  // object that goes away first.
  struct SelfRemoving : Recorder {
    std::shared_ptr<Person> observed;
    ~SelfRemoving() override { observed->removeObserver(this, "age"_ns); }
  };
  auto selfRemoving = std::make_shared<SelfRemoving>();
  selfRemoving->observed = person;
  person->addObserver(selfRemoving, "age"_ns, 0, nullptr);
  selfRemoving.reset();
  auto other = std::make_shared<Person>();
  auto recorder = std::make_shared<Recorder>();
  other->addObserver(recorder, "name"_ns, 0, nullptr);
  other.reset();
  EXPECT_EQ(zvt::observedObjectCount(), before);

  // An observer that does not handle the notification is a programming error.
  auto plain = std::make_shared<NSObject>();
  person->addObserver(plain, "age"_ns, 0, nullptr);
  EXPECT_THROW(person->setValueForKey(1_n, "age"_ns), NSException);
  person->removeObserver(plain, "age"_ns);
}

TEST(ObjectsKVO, ObserversMayChangeValuesAndRemoveThemselves) {
  auto person = std::make_shared<Person>();
  auto recorder = std::make_shared<Recorder>();
  recorder->onChange = [&] {
    if (person->age < 3) person->setValueForKey(NSNumber::numberWithInteger(person->age + 1), "age"_ns);
    else person->removeObserver(recorder, "age"_ns);
  };
  person->addObserver(recorder, "age"_ns, NSKeyValueObservingOptionNew, nullptr);
  person->setValueForKey(1_n, "age"_ns);
  EXPECT_EQ(recorder->take(), (Lines{"age: new=1", "age: new=2", "age: new=3"}));
  person->setValueForKey(5_n, "age"_ns);
  EXPECT_TRUE(recorder->take().empty());
}

TEST(ObjectsKVO, OperationStateChangesReachObservers) {
  auto operation = NSBlockOperation::blockOperationWithBlock([] {});
  auto recorder = std::make_shared<Recorder>();
  const auto options = NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld;
  operation->addObserver(recorder, "isExecuting"_ns, options, nullptr);
  operation->addObserver(recorder, "isFinished"_ns, options, nullptr);
  std::thread::id starter, seen;
  recorder->onChange = [&] { seen = std::this_thread::get_id(); };
  std::thread([&] {
    starter = std::this_thread::get_id();
    operation->start();
  }).join();
  EXPECT_EQ(recorder->take(),
            (Lines{"isExecuting: old=0 new=1", "isExecuting: old=1 new=0", "isFinished: old=0 new=1"}));
  EXPECT_EQ(seen, starter);
}

// A counter whose setter may be called from any thread, on a chain of nodes.
class Node : public NSObject {
 public:
  std::shared_ptr<Node> next;  // set before the threads start
  NSInteger count() const { return count_; }
  void setCount(NSInteger count) {
    willChangeValueForKey("count");
    count_ = count;
    didChangeValueForKey("count");
  }
  NSInteger doubled() const { return 2 * count_; }
  static const zvt::KVCClass* classTable() {
    static const zvt::KVCClass table = zvt::KVCClass::Builder<Node>()
                                           .property("next", &Node::next)
                                           .property("count", &Node::count, &Node::setCount)
                                           .readonlyProperty("doubled", &Node::doubled)
                                           .keyPathsForValuesAffecting([](const std::string& key) {
                                             return key == "doubled" ? std::vector<std::string>{"count"} : std::vector<std::string>{};
                                           })
                                           .build();
    return &table;
  }
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 private:
  std::atomic<NSInteger> count_{0};
};

// Setters on several threads while observers come and go: each notification arrives inside
// the setter, on the thread that made the change, and none is lost for a registered observer.
thread_local bool insideSetter = false;

TEST(ObjectsKVO, ChangesFromManyThreads) {
  auto head = std::make_shared<Node>();
  head->next = std::make_shared<Node>();
  std::atomic<int> elsewhere{0};
  auto check = [&] {
    if (!insideSetter) ++elsewhere;
  };
  auto steady = std::make_shared<Recorder>();
  steady->onChange = check;
  head->addObserver(steady, "next.count"_ns, NSKeyValueObservingOptionNew, nullptr);
  constexpr int kThreads = 4, kChanges = 200;
  std::vector<std::thread> threads;
  std::atomic<size_t> seenByTheirOwn{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto mine = std::make_shared<Recorder>();
      mine->onChange = check;
      for (int i = 0; i < kChanges; ++i) {
        if (i % 10 == 0) head->addObserver(mine, "doubled"_ns, NSKeyValueObservingOptionOld, nullptr);
        insideSetter = true;
        head->next->setCount(t * kChanges + i);
        head->setCount(i);
        insideSetter = false;
        if (i % 10 == 9) head->removeObserver(mine, "doubled"_ns);
      }
      seenByTheirOwn += mine->take().size();  // its own changes, and some of the others'
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(steady->take().size(), size_t{kThreads * kChanges});
  EXPECT_GE(seenByTheirOwn.load(), size_t{kThreads * kChanges});
  EXPECT_EQ(elsewhere.load(), 0);
}

}  // namespace

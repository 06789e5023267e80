#pragma once
// Nibs by name (UINib, -[NSBundle loadNibNamed:owner:options:]): the application's interface
// files are C++ factories registered under the names the code loads them by ("TZSearchView",
// "TZWithdrawCell"...). A factory makes the nib's objects through a NibBuilder (views as a nib
// makes them: UIView::setUpWithCoder, never setUpWithFrame), connects their outlets and
// actions, and answers the top-level objects in order. Once it returns, every object it made
// hears awakeFromNib, in the order they were made, as on the device.
//
// Factories are registered at start-up (the application calls its registration function before
// loading anything); a name without a factory raises NSInternalInconsistencyException when
// loaded, with the device's message.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIView.h"

namespace zvt::ui {

class NibBuilder {
 public:
  NibBuilder(id owner, std::shared_ptr<NSDictionary> options) : owner_(std::move(owner)), options_(std::move(options)) {}

  // The File's Owner given to the load (nil when none), and the load's options.
  const id& owner() const { return owner_; }
  const std::shared_ptr<NSDictionary>& options() const { return options_; }

  // A view of class V with the frame, set up as a nib sets up its views.
  template <class V>
  std::shared_ptr<V> view(CGRect frame) {
    auto made = std::make_shared<V>();
    made->setUpWithCoder(frame);
    made_.push_back(made);
    return made;
  }
  // Any other object the nib holds (a controller, a recogniser): made by the caller, adopted
  // here so that it hears awakeFromNib.
  template <class T>
  std::shared_ptr<T> adopt(std::shared_ptr<T> object) {
    if (object) made_.push_back(object);
    return object;
  }

  const std::vector<id>& madeObjects() const { return made_; }

 private:
  id owner_;
  std::shared_ptr<NSDictionary> options_;
  std::vector<id> made_;
};

// Makes the nib's objects and answers its top-level objects.
using NibFactory = std::function<std::vector<id>(NibBuilder& builder)>;

// Registers (or replaces) the factory of a nib name; nil removes it.
void registerNibFactory(const std::string& name, NibFactory factory);
bool hasNibFactory(const std::string& name);

}  // namespace zvt::ui

class UINib : public NSObject {
 public:
  // A nib of the name in the bundle (nil: the main bundle); made whether or not the name is
  // known, as on the device: instantiating an unknown one raises.
  static std::shared_ptr<UINib> nibWithNibName(const std::shared_ptr<NSString>& name,
                                               const std::shared_ptr<NSBundle>& bundle);
  // A fresh set of the nib's objects each time: its top-level objects, in order.
  std::shared_ptr<NSArray> instantiateWithOwner(const id& owner, const std::shared_ptr<NSDictionary>& options) const;

  const std::shared_ptr<NSString>& name() const { return name_; }

  UINib(std::shared_ptr<NSString> name, std::shared_ptr<NSBundle> bundle)
      : name_(std::move(name)), bundle_(std::move(bundle)) {}

 private:
  std::shared_ptr<NSString> name_;
  std::shared_ptr<NSBundle> bundle_;
};

// -[NSBundle loadNibNamed:owner:options:] (nil bundle: the main bundle).
std::shared_ptr<NSArray> loadNibNamed(const std::shared_ptr<NSBundle>& bundle, const std::shared_ptr<NSString>& name,
                                      const id& owner, const std::shared_ptr<NSDictionary>& options);

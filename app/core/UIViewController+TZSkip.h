#pragma once
// The item router (the TZSkip category of UIViewController): opens the target of a configured
// item (TZHeaderInfoModel: "local" the kind, "link" the target, both read as integers for the
// in-app kind) on the receiving screen's navigation controller, animated. Items that need a user
// present the login screen while nobody is logged in and log no event; the others log their
// analytics event before the screen is made.

#include <memory>

#include "app/models/TZHeaderInfoModel.h"
#include "platform/uikit/UIViewController.h"

// -clickAction: the item router.
void clickAction(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<TZHeaderInfoModel>& item);
// -gotoProductWith: the product store of that big sort type (small sort 0), pushed.
void gotoProductWith(const std::shared_ptr<UIViewController>& controller, NSInteger bigSortType);
// -gotoActivityVenue: the activity page of the item (its link, name, share flag and the item).
void gotoActivityVenue(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<TZHeaderInfoModel>& item);
// -login: the login screen at the root of a new navigation controller, presented.
void login(const std::shared_ptr<UIViewController>& controller);

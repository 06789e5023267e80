#include "app/screens/account/TZPersonalViewController.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZEmailAndQQViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTFunction.h"
#include "platform/foundation/NSNull.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIAlertController.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/images/WIImageCache.h"

namespace {

const auto kCellIdentifier = "cellID";
const auto kPageName = "个人信息页面";

std::shared_ptr<UIColor> grey(int value) { return UIColor::colorWithRed(value / 255.0, value / 255.0, value / 255.0, 1); }
std::shared_ptr<UIColor> attentionColor() { return UIColor::colorWithRed(1, 171 / 255.0, 13 / 255.0, 1); }

using zvt::account::presentRecordText;

}  // namespace

TZPersonalViewController::TZPersonalViewController() { initDatas(); }

void TZPersonalViewController::initDatas() {
  sectionArray_ = {{"头像", "用户名"}, {"手机号", "邮箱", "绑定支付宝", "QQ"}};
  auto record = AppDelegate::shared() ? AppDelegate::shared()->userInfoDictionary() : nullptr;
  userInfoModel_ = zvt::modelFromRecord<TZUserInfoModel>(record);
}

std::shared_ptr<NSString> TZPersonalViewController::maskedPhone(const std::shared_ptr<NSString>& text) {
  if (!text || text->length() < 7) return text;
  return text->stringByReplacingCharactersInRange(NSMakeRange(3, 4), "****"_ns);
}

std::shared_ptr<NSString> TZPersonalViewController::maskedEmail(const std::shared_ptr<NSString>& text) {
  if (!text) return text;
  const NSRange at = text->rangeOfString("@"_ns);
  if (at.location == NSNotFound || at.location < 4) return text;
  return text->stringByReplacingCharactersInRange(NSMakeRange(at.location - 4, 4), "****"_ns);
}

void TZPersonalViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("个人信息"_ns);
  zvt::account::configGrayReturnPop(controllerSelf());
  createUI();
}

void TZPersonalViewController::createUI() {
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  tableView_ = UITableView::initWithFrame(
      CGRectMake(0, 0, std::min(screen.width, screen.height), std::max(screen.width, screen.height) - 20),
      UITableViewStyleGrouped);
  tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(personalSelf()));
  tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(personalSelf()));
  tableView_->setShowsVerticalScrollIndicator(false);
  tableView_->setShowsHorizontalScrollIndicator(false);
  tableView_->setBackgroundColor(zvt::screenBackgroundColor());
  tableView_->setSeparatorColor(grey(220));
  tableView_->setSeparatorInset(UIEdgeInsetsMake(0, 15, 0, 15));
  tableView_->setTableFooterView(UIView::initWithFrame(CGRectZero));
  view()->addSubview(tableView_);
}

void TZPersonalViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  getUserInfo();
  if (auto shell = AppDelegate::shared()->tabBarController()) shell->hiddenTabbar();
  StatAgent::beginLogPageView(NSString::stringWithUTF8String(kPageName));
}

void TZPersonalViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kPageName));
  UIApplication::sharedApplication()->sendAction(SEL(&UIResponder::resignFirstResponder), nullptr, nullptr, nullptr);
}

void TZPersonalViewController::getUserInfo() {
  auto parameters = NSMutableDictionary::dictionary();
  auto record = AppDelegate::shared()->userInfoDictionary();
  if (id userId = record ? record->objectForKey("id"_ns) : nullptr) parameters->setObject(userId, "id"_ns);
  auto screen = personalSelf();
  ZVTAPIClient::getUserInfoWith(parameters, [screen](const std::shared_ptr<NSDictionary>& fresh, const std::shared_ptr<NSError>&) {
    if (fresh) {
      screen->userInfoModel_->setValuesForKeysWithDictionary(fresh);
      // The picture under the same address may have changed: fetch it anew.
      if (auto avatar = std::dynamic_pointer_cast<NSString>(screen->userInfoModel_->avatar)) {
        WIImageCache::sharedImageCache()->removeImageForKeyWithCompletion(avatar, nullptr);
      }
    }
    if (screen->userIcon_) screen->userIcon_->removeFromSuperview();
    if (screen->tableView_) screen->tableView_->reloadData();
    hideHud(screen);
  });
}

// --- table ------------------------------------------------------------------------------------------

NSInteger TZPersonalViewController::numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) {
  return static_cast<NSInteger>(sectionArray_.size());
}

NSInteger TZPersonalViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger section) {
  return static_cast<NSInteger>(sectionArray_.at(static_cast<size_t>(section)).size());
}

CGFloat TZPersonalViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                   const std::shared_ptr<NSIndexPath>& indexPath) {
  return indexPath->section() == 0 && indexPath->row() == 0 ? 65 : 45;
}

CGFloat TZPersonalViewController::tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return 10;
}

CGFloat TZPersonalViewController::tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return 10;
}

void TZPersonalViewController::configAvatar(const std::shared_ptr<UITableViewCell>& cell) {
  // A row drawn again gets a new view; the last one goes so that two never stack.
  if (userIcon_) userIcon_->removeFromSuperview();
  userIcon_ = UIImageView::initWithFrame(CGRectMake(view()->frame().size.width - 76, 9.5, 46, 46));
  configLayerWithBorderWidth(userIcon_, 1.0, 23, grey(204));
  auto placeholder = UIImage::imageNamed("userIcon.png"_ns);
  if (auto avatar = presentRecordText(userInfoModel_->avatar)) {
    std::weak_ptr<UITableViewCell> weakCell = cell;
    std::weak_ptr<UIImageView> weakIcon = userIcon_;
    wi_setImageWithURL(userIcon_, NSURL::URLWithString(avatar), placeholder,
                       [weakCell, weakIcon](const std::shared_ptr<UIImage>&, const std::shared_ptr<NSError>&, WIImageCacheSource,
                                            const std::shared_ptr<NSURL>&) {
                         auto shown = weakCell.lock();
                         auto icon = weakIcon.lock();
                         if (shown && icon) shown->contentView()->addSubview(icon);
                       });
  } else {
    userIcon_->setImage(placeholder);
    cell->setAccessoryType(UITableViewCellAccessoryNone);
    cell->setAccessoryView(userIcon_);
  }
}

std::shared_ptr<UITableViewCell> TZPersonalViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto identifier = NSString::stringWithUTF8String(kCellIdentifier);
  auto cell = tableView->dequeueReusableCellWithIdentifier(identifier);
  if (!cell) cell = UITableViewCell::initWithStyle<UITableViewCell>(UITableViewCellStyleValue1, identifier);
  const NSInteger section = indexPath->section(), row = indexPath->row();
  cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
  cell->textLabel()->setText(NSString::stringWithUTF8String(sectionArray_.at(static_cast<size_t>(section)).at(static_cast<size_t>(row))));
  cell->textLabel()->setTextColor(UIColor::colorWithRed(5 / 255.0, 22 / 255.0, 21 / 255.0, 1));
  cell->textLabel()->setFont(UIFont::systemFontOfSize(15));
  auto detail = cell->detailTextLabel();
  detail->setTextColor(grey(153));
  detail->setFont(UIFont::systemFontOfSize(14));
  detail->setText(nullptr);
  cell->setAccessoryView(nullptr);
  cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
  cell->setUserInteractionEnabled(true);

  auto model = userInfoModel_;
  auto orMissing = [&](const std::shared_ptr<NSString>& text, const char* missing, bool attention) {
    if (text) {
      detail->setText(text);
    } else {
      detail->setText(NSString::stringWithUTF8String(missing));
      if (attention) detail->setTextColor(attentionColor());
    }
  };
  if (section == 0) {
    if (row == 0) {
      configAvatar(cell);
    } else {
      cell->setAccessoryType(UITableViewCellAccessoryNone);
      detail->setText(presentRecordText(model->ddusername));
    }
    return cell;
  }
  switch (row) {
    case 0: {
      if (auto phone = presentRecordText(model->phoneNumber)) {
        detail->setText(maskedPhone(phone));
      } else if (auto method = AppDelegate::shared()->regMethod(); method && method->isEqualToString("2"_ns)) {
        orMissing(nullptr, "未验证手机号", true);
      } else {
        detail->setText("暂不支持验证"_ns);
        cell->setUserInteractionEnabled(false);
      }
      break;
    }
    case 1: {
      auto email = presentRecordText(model->email);
      orMissing(email ? maskedEmail(email) : nullptr, "未填写", false);
      break;
    }
    case 2: {
      auto alipay = presentRecordText(model->alipay);
      if (alipay && ZVTFunction::validateMobile(alipay)) {
        alipay = maskedPhone(alipay);
      } else if (alipay && ZVTFunction::validateEmail(alipay)) {
        alipay = maskedEmail(alipay);
      }
      orMissing(alipay, "未绑定支付宝", true);
      break;
    }
    default:
      orMissing(presentRecordText(model->qq), "未填写", false);
      break;
  }
  return cell;
}

void TZPersonalViewController::push(const std::shared_ptr<UIViewController>& screen) {
  auto navigation = navigationController();
  if (screen && navigation) navigation->pushViewController(screen, true);
}

void TZPersonalViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSInteger section = indexPath->section(), row = indexPath->row();
  if (section == 0) {
    if (row == 0 && !uploading_) showAvatarSheet();
    return;
  }
  switch (row) {
    case 0:
      if (presentRecordText(userInfoModel_->phoneNumber)) {
        showTipHudWithText(controllerSelf(), "已验证的手机号暂时无法修改"_ns);
      } else if (auto method = AppDelegate::shared()->regMethod(); method && method->isEqualToString("2"_ns)) {
        push(zvt::makeScreen("TZVerticalPhoneViewController"));
      }  // else the row reads "暂不支持验证" and does nothing
      break;
    case 2:
      push(zvt::makeScreen("TZAlipaySetupViewController"));
      break;
    default: {
      auto screen = TZEmailAndQQViewController::make();
      screen->setUserInfoModel(userInfoModel_);
      push(screen);
      break;
    }
  }
}

// --- avatar -----------------------------------------------------------------------------------------

void TZPersonalViewController::showAvatarSheet() {
  auto sheet = UIAlertController::alertControllerWithTitle(nullptr, nullptr, UIAlertControllerStyleActionSheet);
  std::weak_ptr<TZPersonalViewController> weakSelf = personalSelf();
  auto add = [&](const char* title, std::function<void()> run) {
    auto action = UIAlertAction::actionWithTitle(NSString::stringWithUTF8String(title), UIAlertActionStyleDefault,
                                                 [run](const std::shared_ptr<UIAlertAction>&) {
                                                   if (run) run();
                                                 });
    action->setTitleTextColor(grey(51));
    sheet->addAction(action);
  };
  if (UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera)) {
    add("拍照", [weakSelf] {
      if (auto screen = weakSelf.lock()) screen->presentWithSourceType(UIImagePickerControllerSourceTypeCamera);
    });
  }
  add("从相册选择", [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->presentWithSourceType(UIImagePickerControllerSourceTypePhotoLibrary);
  });
  add("取消", nullptr);
  presentViewController(sheet, true);
}

void TZPersonalViewController::presentWithSourceType(UIImagePickerControllerSourceType sourceType) {
  auto picker = UIImagePickerController::make();
  picker->setDelegate(std::static_pointer_cast<UIImagePickerControllerDelegate>(personalSelf()));
  picker->setAllowsEditing(true);
  configWhiteNavigationBarStyle(picker);
  picker->setSourceType(sourceType);
  presentViewController(picker, true);
}

void TZPersonalViewController::imagePickerControllerDidFinishPickingMediaWithInfo(
    const std::shared_ptr<UIImagePickerController>& picker, const std::shared_ptr<NSDictionary>& info) {
  if (picker) picker->dismissViewControllerAnimated(true);
  auto edited = std::dynamic_pointer_cast<UIImage>(info ? info->objectForKey(UIImagePickerControllerEditedImage) : nullptr);
  auto png = edited ? UIImagePNGRepresentation(edited) : nullptr;
  if (!png) return;
  showLoadingHud(controllerSelf());
  auto screen = personalSelf();
  uploading_ = true;
  ZVTAPIClient::sendUserIconWith(png, [screen](const id& avatar, const std::shared_ptr<NSError>&) {
    screen->uploading_ = false;
    if (avatar) {
      screen->getUserInfo();  // hides the overlay when it has answered
    } else {
      hideHud(screen);
    }
  });
}

void TZPersonalViewController::imagePickerControllerDidCancel(const std::shared_ptr<UIImagePickerController>& picker) {
  if (picker) picker->dismissViewControllerAnimated(true);
}

#pragma once
// Table rows (UITableViewCell) and section header and footer views (UITableViewHeaderFooterView).
//
// A cell lays out, from the right: its accessory (a custom view, or the disclosure chevron,
// checkmark or detail button of its type, 15 points from the edge), then the content view over
// the rest; the background view (and the selected background view while selected or
// highlighted, unless the selection style is none) behind it; and its separator, a line one pixel
// high along the bottom edge inset as the table says. Cells made by a table for a reuse
// identifier come back through dequeue after they leave the screen: prepareForReuse is called
// just before, so a subclass can reset what it showed.

#include <memory>
#include <string>

#include "platform/graphics/UIColor.h"
#include "platform/uikit/UIView.h"

class UITableView;
class UILabel;
class UIImageView;

enum UITableViewCellStyle : NSInteger {
  UITableViewCellStyleDefault,  // a text label on the left, an optional image
  UITableViewCellStyleValue1,   // text on the left, detail right-aligned on the right
  UITableViewCellStyleValue2,   // a small right-aligned text in a narrow column, detail beside it
  UITableViewCellStyleSubtitle, // text above a smaller detail
};

enum UITableViewCellSelectionStyle : NSInteger {
  UITableViewCellSelectionStyleNone,
  UITableViewCellSelectionStyleBlue,
  UITableViewCellSelectionStyleGray,
  UITableViewCellSelectionStyleDefault,
};

enum UITableViewCellAccessoryType : NSInteger {
  UITableViewCellAccessoryNone,
  UITableViewCellAccessoryDisclosureIndicator,
  UITableViewCellAccessoryDetailDisclosureButton,
  UITableViewCellAccessoryCheckmark,
  UITableViewCellAccessoryDetailButton,
};

enum UITableViewCellSeparatorStyle : NSInteger {
  UITableViewCellSeparatorStyleNone,
  UITableViewCellSeparatorStyleSingleLine,
  UITableViewCellSeparatorStyleSingleLineEtched,
};

class UITableViewCell : public UIView {
 public:
  UITableViewCell();
  ~UITableViewCell() override;

  // initWithStyle:reuseIdentifier: for a cell class C (the frame is the default 320 x 44).
  template <class C = UITableViewCell>
  static std::shared_ptr<C> initWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
    auto cell = std::make_shared<C>();
    cell->setUpWithStyle(style, reuseIdentifier);
    return cell;
  }
  // The body of initWithStyle:reuseIdentifier: (overrides call the base first). A cell made
  // with initWithFrame gets the default style and no identifier.
  virtual void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier);
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  UITableViewCellStyle style() const { return style_; }
  const std::shared_ptr<NSString>& reuseIdentifier() const { return reuseIdentifier_; }
  // Called before dequeue hands the cell out again.
  virtual void prepareForReuse() {}

  // Subviews go here, not on the cell itself.
  std::shared_ptr<UIView> contentView();
  // The style's labels and image view, made on first use (the default style has no detail).
  std::shared_ptr<UILabel> textLabel();
  std::shared_ptr<UILabel> detailTextLabel();
  std::shared_ptr<UIImageView> imageView();

  std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
  void setBackgroundView(const std::shared_ptr<UIView>& view);
  // A grey view made on first use (unless one was set).
  std::shared_ptr<UIView> selectedBackgroundView();
  void setSelectedBackgroundView(const std::shared_ptr<UIView>& view);

  UITableViewCellAccessoryType accessoryType() const { return accessoryType_; }
  void setAccessoryType(UITableViewCellAccessoryType type);
  std::shared_ptr<UIView> accessoryView() const { return accessoryView_; }
  void setAccessoryView(const std::shared_ptr<UIView>& view);

  UITableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(UITableViewCellSelectionStyle style);
  bool isSelected() const { return selected_; }
  void setSelected(bool selected) { setSelected(selected, false); }
  virtual void setSelected(bool selected, bool animated);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted) { setHighlighted(highlighted, false); }
  virtual void setHighlighted(bool highlighted, bool animated);

  // Where the separator starts and ends (UIKit: 15 points from the left by default, the
  // table's value unless set on the cell).
  UIEdgeInsets separatorInset() const;
  void setSeparatorInset(UIEdgeInsets inset);
  CGFloat indentationLevel() const { return indentationLevel_; }
  void setIndentationLevel(NSInteger level) { indentationLevel_ = level; }

  void layoutSubviews() override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override { return {}; }

  // The table that shows the cell (nil while it waits for reuse).
  std::shared_ptr<UITableView> tableView() const { return tableView_.lock(); }

 protected:
  // How the style places its labels and image view inside the content view.
  virtual void layoutStyleViews(CGRect contentBounds);

 private:
  friend class UITableView;
  void showSelectionBackground();
  void layoutSeparator();
  void accessoryTapped();
  std::shared_ptr<UIView> makeAccessory() const;

  UITableViewCellStyle style_ = UITableViewCellStyleDefault;
  std::shared_ptr<NSString> reuseIdentifier_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UILabel> textLabel_, detailTextLabel_;
  std::shared_ptr<UIImageView> imageView_;
  std::shared_ptr<UIView> backgroundView_, selectedBackgroundView_;
  std::shared_ptr<UIView> accessoryView_;
  std::shared_ptr<UIView> standardAccessory_;
  std::shared_ptr<UIView> separator_;
  std::weak_ptr<UITableView> tableView_;
  UITableViewCellAccessoryType accessoryType_ = UITableViewCellAccessoryNone;
  UITableViewCellSelectionStyle selectionStyle_ = UITableViewCellSelectionStyleDefault;
  UIEdgeInsets separatorInset_{};
  bool hasSeparatorInset_ = false;
  NSInteger indentationLevel_ = 0;
  bool selected_ = false;
  bool highlighted_ = false;
  // Set by the table: whether to draw the separator, its colour and the table's inset.
  bool separatorShown_ = false;
  std::shared_ptr<UIColor> separatorColor_;
  UIEdgeInsets tableSeparatorInset_{0, 15, 0, 0};
};

// A reusable section header or footer: a content view and the title's label.
class UITableViewHeaderFooterView : public UIView {
 public:
  template <class C = UITableViewHeaderFooterView>
  static std::shared_ptr<C> initWithReuseIdentifier(const std::shared_ptr<NSString>& reuseIdentifier) {
    auto view = std::make_shared<C>();
    view->setUpWithReuseIdentifier(reuseIdentifier);
    return view;
  }
  virtual void setUpWithReuseIdentifier(const std::shared_ptr<NSString>& reuseIdentifier);
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;
  const std::shared_ptr<NSString>& reuseIdentifier() const { return reuseIdentifier_; }
  virtual void prepareForReuse() {}
  std::shared_ptr<UIView> contentView();
  std::shared_ptr<UILabel> textLabel();
  std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
  void setBackgroundView(const std::shared_ptr<UIView>& view);
  void layoutSubviews() override;

 private:
  friend class UITableView;
  void setTitle(const std::shared_ptr<NSString>& title);
  std::shared_ptr<NSString> reuseIdentifier_;
  std::shared_ptr<UIView> contentView_;
  std::shared_ptr<UILabel> textLabel_;
  std::shared_ptr<UIView> backgroundView_;
  bool grouped_ = false;
  bool footer_ = false;
};

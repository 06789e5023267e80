#pragma once
// The UIButton(RemoteImage) category: a button's image or background image for a control state
// from a URL, through the shared image manager; each state and kind has its own load (key
// "UIButtonImageOperation<state>" or "UIButtonBackgroundImageOperation<state>", the state in
// decimal). The URL of each state's image is kept (not that of the background).

#include <memory>

#include "platform/uikit/UIButton.h"
#include "ui/images/UIImageView+RemoteImage.h"

// The URL for the button's current state, else the one for the normal state.
std::shared_ptr<NSURL> wi_currentImageURL(const std::shared_ptr<UIButton>& button);
std::shared_ptr<NSURL> wi_imageURLForState(const std::shared_ptr<UIButton>& button, UIControlState state);

// wi_setImageWithURL:forState:placeholderImage:options:completed: and its shorter forms.
void wi_setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                        const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options, WIWebImageCompletionBlock completed);
void wi_setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state);
void wi_setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                        const std::shared_ptr<UIImage>& placeholder);
void wi_setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                        const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options);
void wi_setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                        WIWebImageCompletionBlock completed);
void wi_setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                        const std::shared_ptr<UIImage>& placeholder, WIWebImageCompletionBlock completed);

// wi_setBackgroundImageWithURL:forState:placeholderImage:options:completed: and its shorter forms.
void wi_setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                                  const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options,
                                  WIWebImageCompletionBlock completed);
void wi_setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state);
void wi_setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                                  const std::shared_ptr<UIImage>& placeholder);
void wi_setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                                  const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options);
void wi_setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                                  WIWebImageCompletionBlock completed);
void wi_setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                                  const std::shared_ptr<UIImage>& placeholder, WIWebImageCompletionBlock completed);

void wi_setImageLoadOperation(const std::shared_ptr<UIButton>& button, const std::shared_ptr<WIWebImageOperation>& operation,
                              UIControlState state);
void wi_cancelImageLoadForState(const std::shared_ptr<UIButton>& button, UIControlState state);
void wi_setBackgroundImageLoadOperation(const std::shared_ptr<UIButton>& button,
                                        const std::shared_ptr<WIWebImageOperation>& operation, UIControlState state);
void wi_cancelBackgroundImageLoadForState(const std::shared_ptr<UIButton>& button, UIControlState state);

// --- UIButton(RemoteImageDeprecated): the older names.
std::shared_ptr<NSURL> currentImageURL(const std::shared_ptr<UIButton>& button);
std::shared_ptr<NSURL> imageURLForState(const std::shared_ptr<UIButton>& button, UIControlState state);
void setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state);
void setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                     const std::shared_ptr<UIImage>& placeholder);
void setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                     const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options);
void setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                     WIWebImageCompletedBlock completed);
void setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                     const std::shared_ptr<UIImage>& placeholder, WIWebImageCompletedBlock completed);
void setImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                     const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options, WIWebImageCompletedBlock completed);
void setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state);
void setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                               const std::shared_ptr<UIImage>& placeholder);
void setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                               const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options);
void setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                               WIWebImageCompletedBlock completed);
void setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                               const std::shared_ptr<UIImage>& placeholder, WIWebImageCompletedBlock completed);
void setBackgroundImageWithURL(const std::shared_ptr<UIButton>& button, const std::shared_ptr<NSURL>& url, UIControlState state,
                               const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options,
                               WIWebImageCompletedBlock completed);
// cancelCurrentImageLoad: the image load of the button's current state.
void cancelCurrentImageLoad(const std::shared_ptr<UIButton>& button);
void cancelBackgroundImageLoadForState(const std::shared_ptr<UIButton>& button, UIControlState state);

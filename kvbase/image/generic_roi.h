#ifndef KVBASE_IMAGE_GENERIC_ROI_H
#define KVBASE_IMAGE_GENERIC_ROI_H

// KGenericROI: the pixel-type-independent base of every image and ROI.
//
// An image is the root of a tree; ROIs are attached to the image or to other ROIs of the same pixel type
// and see the root's pixels through their chain of parents. The base holds the placement relative to the
// parent, the tree links (never owning), four metadata strings (owned copies), the colour system, and
// the virtual interface through which type-independent code works on any image or ROI.
//
// The order of the virtual operations below is part of the binary interface that companion libraries
// are compiled against: do not reorder, insert or remove any. KROI<T> adds Attach and Detach after them.

#include "kvbase/foundation/errors.h"
#include "kvbase/foundation/units.h"
#include "kvbase/pixels/pixel_types.h"
#include "kvbase/platform/export.h"
#include "kvbase/platform/windows_types.h"

// Object lists of the companion libraries; this library only passes the pointer on.
struct KListItem;

// Where a frame line lies relative to the ROI's border pixels (DrawFrame).
enum K_FRAME_POSITION : int {
  K_FRAME_POSITION_ON_BORDER = 0,
  K_FRAME_POSITION_INSIDE = 1,
  K_FRAME_POSITION_OUTSIDE = 2,
};

class KVBASE_API KGenericROI {
 public:
  KGenericROI();
  virtual ~KGenericROI();
  KGenericROI(const KGenericROI&) = delete;
  KGenericROI& operator=(const KGenericROI&) = delete;

  // --- Virtual interface, in binary-interface order. ---
  // The root image of the tree (an image answers itself); null, with K_ERROR_ROI_HAS_NO_PARENT, for an
  // ROI that reaches no image.
  virtual KGenericROI* GetTopParent() = 0;
  virtual void ResetMask() = 0;
  virtual void SetRectangleMask(int x, int y, int width, int height) = 0;
  virtual void SetEllipseMask(int x, int y, int width, int height) = 0;
  virtual void SetBinarizedMask(unsigned int threshold) = 0;
  virtual void SetObjectMask(KListItem* object) = 0;
  // Stores the pixel type's default colour system.
  virtual void SetColorSystem() = 0;
  virtual void GetPixelDimensions(float& width, float& height, KMeasurementUnit*& unit) = 0;
  virtual void GetResolution(float& x, float& y, KMeasurementUnit*& unit) = 0;
  virtual void SetPixelDimensions(float width, float height, KMeasurementUnit* unit) = 0;
  virtual void SetResolution(float x, float y, KMeasurementUnit* unit) = 0;
  virtual int IsAnROI() = 0;
  virtual K_IMAGE_TYPES GetType() = 0;
  virtual int GetBitsPerPixel() = 0;
  virtual int GetPlanesPerPixel() = 0;
  // 0 when both have the same width and height, else K_ERROR_IMAGE_SIZES_DIFFER (not traced).
  virtual short SameSize(KGenericROI* other);
  virtual int Void() = 0;
  virtual void SetSize(KGenericROI* model) = 0;
  virtual void SetSize(int width, int height) = 0;
  // Address of pixel (x, y) in this object's coordinates; null without pixels. No bounds check.
  virtual void* GetGenericImagePtr(int x, int y) = 0;
  virtual int GetColPitch() = 0;
  virtual int GetRowPitch() = 0;
  virtual int GetImgPitch() = 0;
  virtual void Serialize(void* stream, int writing, unsigned int version) = 0;
  virtual void DrawMask(HDC dc, float zoomX, float zoomY, float panX, float panY) = 0;
  virtual void Draw(HDC dc, float zoomX, float zoomY) = 0;
  // Position of pixel (x, y) inside its byte, from the most significant bit (0 for 8 bits and more).
  virtual unsigned int GetBitIndex(int x, int y) = 0;
  // Sets K_ERROR_IMAGE_MEMORY_ACCESS (without tracing) when this object reaches no pixels.
  virtual void NotVoid() = 0;
  // Bytes from the end of one of this object's rows to the start of the next.
  virtual int GetSkip() = 0;
  virtual short GetBitsPerPixelCode() = 0;
  virtual short GetDataType() = 0;
  virtual short SameDataType(KGenericROI* other);
  // Size, depth and data type checks in one, then the depth and data type masks.
  virtual short SameSizeDepthType(KGenericROI* other, short depthMask, short dataTypeMask);
  virtual short SameDepth(KGenericROI* other);
  // 0 when this object's bits-per-pixel code is in `depthMask`, else K_ERROR_INVALID_DEPTH.
  virtual short PermittedDepth(short depthMask);
  virtual short PermittedDataType(short dataTypeMask);

  // --- Placement. ---
  int GetOrgX() const { return orgX_; }
  int GetOrgY() const { return orgY_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  // Origin in the root image's coordinates (0 for a root).
  int GetTotalOrgX() const;
  int GetTotalOrgY() const;
  // Size of the root image.
  int GetTotalWidth();
  int GetTotalHeight();

  // --- Tree. ---
  KGenericROI* GetParent() const { return parent_; }
  KGenericROI* GetNextSiblingROI() const { return nextSibling_; }
  KGenericROI* GetFirstSubROI() const { return firstSubROI_; }
  // Next node of a pre-order walk (parents before children, siblings in attachment order), or null when
  // the walk would reach `stop`.
  KGenericROI* GetNextROI(KGenericROI* stop);

  void* GetImagePtr(int x, int y) { return GetGenericImagePtr(x, y); }

  // --- Metadata: owned copies; null when unset. Setting null clears. ---
  char* GetAuthor() const { return author_; }
  char* GetComment() const { return comment_; }
  char* GetDate() const { return date_; }
  char* GetTitle() const { return title_; }
  void SetAuthor(const char* author);
  void SetComment(const char* comment);
  // An empty string stores the present local time as "YYYY:MM:DD hh:mm:ss".
  void SetDate(const char* date);
  void SetTitle(const char* title);

  K_COLOR_SYSTEM GetColorSystem() const { return colorSystem_; }
  void SetColorSystem(K_COLOR_SYSTEM colorSystem) { colorSystem_ = colorSystem; }

  // Draws this object's frame, and with `handles` non-zero its eight drag handles, with the device
  // context's current pen and brush, at the given zoom and pan.
  void DrawFrame(HDC dc, K_FRAME_POSITION position, int handles, float zoomX, float zoomY, float panX, float panY);

 protected:
  // The typed classes link and re-fit nodes of their own tree through base pointers.
  template <typename>
  friend class KROI;
  template <typename>
  friend class KImage;

  char* author_;
  char* comment_;
  char* date_;
  char* title_;
  int orgX_;
  int orgY_;
  int width_;
  int height_;
  K_COLOR_SYSTEM colorSystem_;
  KGenericROI* parent_;
  KGenericROI* nextSibling_;
  KGenericROI* firstSubROI_;
};

#endif  // KVBASE_IMAGE_GENERIC_ROI_H

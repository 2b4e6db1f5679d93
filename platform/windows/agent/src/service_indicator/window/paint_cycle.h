// One answer to WM_PAINT, apart from the drawing itself. The system keeps sending WM_PAINT until
// the window's update region is validated, and only a paint that began validates it: a paint that
// cannot begin (no device context left) must validate the region itself, or the window thread
// spins on WM_PAINT and the next invalidation draws it again anyway.
#ifndef VORNAKEL_SERVICE_INDICATOR_WINDOW_PAINT_CYCLE_H_
#define VORNAKEL_SERVICE_INDICATOR_WINDOW_PAINT_CYCLE_H_

namespace vornakel::service_indicator {

class PaintTarget {
 public:
  virtual ~PaintTarget() = default;
  // BeginPaint; false when it gave no device context.
  virtual bool begin() = 0;
  virtual void draw() = 0;
  // EndPaint, for every paint that began.
  virtual void end() = 0;
  // Takes the whole client area out of the update region without painting.
  virtual void validate() = 0;
};

inline void paint_once(PaintTarget& target) {
  if (!target.begin()) {
    target.validate();
    return;
  }
  target.draw();
  target.end();
}

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_WINDOW_PAINT_CYCLE_H_

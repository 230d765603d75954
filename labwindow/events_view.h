#pragma once
// The events view: the target's error events (d2, event, raw-bit errors) as
// `quorvane-lab events` lists them; selecting one shows a pair of precoder
// paths with that difference on the trellis, their ideal samples and the
// distance between them.
#include <QTableWidget>
#include <QWidget>
#include <vector>

#include "labwindow/model/trellis.h"

namespace labwindow {

class EventPaths : public QWidget {
    Q_OBJECT
  public:
    explicit EventPaths(QWidget* parent = nullptr);
    void Show(const channel::Target& target, const channel::ErrorEvent* event);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    channel::Target target_;
    bool shown_ = false;
    channel::ErrorEvent event_;
    labmodel::EventPaths paths_;
};

class EventsView : public QWidget {
    Q_OBJECT
  public:
    explicit EventsView(QWidget* parent = nullptr);
    void SetTarget(const channel::Target& target);
    QTableWidget* Table() const { return table_; }
    void Select(int row);

  private:
    channel::Target target_;
    std::vector<channel::ErrorEvent> events_;
    QTableWidget* table_;
    EventPaths* paths_;
};

} // namespace labwindow

#pragma once
#include "base/picture.h"

#include <QWidget>

namespace kelvora {

// Shows a picture stretched to fill the control, without keeping its aspect.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    TPicture& picture() { return picture_; }
    // Loads through the picture loader; on failure the control keeps its picture.
    void loadFromFile(const std::string& fileName);
    void setImage(const QImage& image);
    void clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TPicture picture_;
};

} // namespace kelvora

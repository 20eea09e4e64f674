#include "DrawnImageSizes.h"

#include <algorithm>
#include <cmath>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <set>
#include <stdexcept>
#include <vector>

namespace quillmorph::DrawnImageSizes {
namespace {

// Forms inside forms deeper than this are not followed; real documents nest a few levels.
constexpr int deepestForm = 32;

class Walk {
  public:
    explicit Walk(std::map<QPDFObjGen, DrawnSize>& sizes) : m_sizes(sizes) {}

    // Walks `content` (a page's streams, a form or a tiling pattern) drawn with `matrix`.
    void content(QPDFObjectHandle content, QPDFObjectHandle resources, const QPDFMatrix& matrix, int depth) {
        if (depth > deepestForm || !resources.isDictionary())
            resources = QPDFObjectHandle::newDictionary();
        patterns(resources, matrix, depth);
        Callbacks callbacks(*this, resources, matrix, depth);
        try {
            if (content.isStream())
                content.parseAsContents(&callbacks);
            else
                QPDFObjectHandle::parseContentStream(content, &callbacks);
        } catch (const std::exception&) {
            // What was seen before the damage still counts.
        }
    }

  private:
    class Callbacks : public QPDFObjectHandle::ParserCallbacks {
      public:
        Callbacks(Walk& walk, QPDFObjectHandle resources, const QPDFMatrix& matrix, int depth)
            : m_walk(walk), m_resources(std::move(resources)), m_matrix(matrix), m_depth(depth) {}

        void handleObject(QPDFObjectHandle object) override {
            if (!object.isOperator()) {
                m_operands.push_back(object);
                return;
            }
            operate(object.getOperatorValue());
            m_operands.clear();
        }

        void handleEOF() override {}

      private:
        void operate(const std::string& name) {
            if (name == "q") {
                m_saved.push_back(m_matrix);
            } else if (name == "Q") {
                if (!m_saved.empty()) {
                    m_matrix = m_saved.back();
                    m_saved.pop_back();
                }
            } else if (name == "cm" && m_operands.size() == 6) {
                double values[6];
                for (std::size_t index = 0; index < 6; ++index) {
                    if (!m_operands[index].getValueAsNumber(values[index]))
                        return;
                }
                m_matrix.concat(QPDFMatrix(values[0], values[1], values[2], values[3], values[4], values[5]));
            } else if (name == "Do" && m_operands.size() == 1 && m_operands[0].isName()) {
                QPDFObjectHandle xobjects = m_resources.getKey("/XObject");
                if (xobjects.isDictionary())
                    m_walk.draw(xobjects.getKey(m_operands[0].getName()), m_resources, m_matrix, m_depth);
            }
        }

        Walk& m_walk;
        QPDFObjectHandle m_resources;
        QPDFMatrix m_matrix;
        int m_depth;
        std::vector<QPDFMatrix> m_saved;
        std::vector<QPDFObjectHandle> m_operands;
    };

    void draw(QPDFObjectHandle xobject, QPDFObjectHandle resources, QPDFMatrix matrix, int depth) {
        if (!xobject.isStream())
            return;
        QPDFObjectHandle dictionary = xobject.getDict();
        QPDFObjectHandle subtype = dictionary.getKey("/Subtype");
        if (subtype.isNameAndEquals("/Image")) {
            record(xobject, matrix);
        } else if (subtype.isNameAndEquals("/Form") && xobject.isIndirect() &&
                   m_inside.insert(xobject.getObjGen()).second) {
            if (QPDFObjectHandle formMatrix = dictionary.getKey("/Matrix"); formMatrix.isMatrix())
                matrix.concat(QPDFMatrix(formMatrix.getArrayAsMatrix()));
            // A form without resources of its own uses those of what draws it.
            QPDFObjectHandle own = dictionary.getKey("/Resources");
            content(xobject, own.isDictionary() ? own : resources, matrix, depth + 1);
            m_inside.erase(xobject.getObjGen());
        }
    }

    // A tiling pattern's space is that of the stream offering it, not of where it is painted.
    void patterns(QPDFObjectHandle resources, const QPDFMatrix& matrix, int depth) {
        QPDFObjectHandle patterns = resources.getKey("/Pattern");
        if (!patterns.isDictionary())
            return;
        for (auto& [name, pattern] : patterns.ditems()) {
            if (!pattern.isStream() || !pattern.isIndirect() || !m_inside.insert(pattern.getObjGen()).second)
                continue;
            QPDFMatrix patternMatrix = matrix;
            QPDFObjectHandle dictionary = pattern.getDict();
            if (QPDFObjectHandle own = dictionary.getKey("/Matrix"); own.isMatrix())
                patternMatrix.concat(QPDFMatrix(own.getArrayAsMatrix()));
            content(pattern, dictionary.getKey("/Resources"), patternMatrix, depth + 1);
            m_inside.erase(pattern.getObjGen());
        }
    }

    void record(QPDFObjectHandle image, const QPDFMatrix& matrix) {
        if (!image.isIndirect())
            return;
        const QPDFObjectHandle::Matrix edges = matrix.getAsMatrix();
        const DrawnSize drawn{.width = std::hypot(edges.a, edges.b), .height = std::hypot(edges.c, edges.d)};
        if (!std::isfinite(drawn.width) || !std::isfinite(drawn.height))
            return;
        for (QPDFObjectHandle drawnImage : {image, image.getDict().getKey("/SMask")}) {
            if (!drawnImage.isStream() || !drawnImage.isIndirect())
                continue;
            DrawnSize& largest = m_sizes[drawnImage.getObjGen()];
            largest.width = std::max(largest.width, drawn.width);
            largest.height = std::max(largest.height, drawn.height);
        }
    }

    std::map<QPDFObjGen, DrawnSize>& m_sizes;
    std::set<QPDFObjGen> m_inside; // forms and patterns being walked, so that none recurses
};

} // namespace

std::map<QPDFObjGen, DrawnSize> measure(QPDF& document) {
    std::map<QPDFObjGen, DrawnSize> sizes;
    Walk walk(sizes);
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages()) {
        QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
        walk.content(contents, page.getAttribute("/Resources", false), QPDFMatrix(), 0);
    }
    return sizes;
}

} // namespace quillmorph::DrawnImageSizes

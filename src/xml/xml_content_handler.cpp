#include "xml/xml_content_handler.h"

namespace fenwix {

XmlContentHandler::XmlContentHandler(SurveyTables& tables) : tables_(tables) {}

void XmlContentHandler::OnStartElement(std::string_view) {}
void XmlContentHandler::OnEndElement(std::string_view) {}
void XmlContentHandler::OnCharacters(std::string_view) {}

}  // namespace fenwix

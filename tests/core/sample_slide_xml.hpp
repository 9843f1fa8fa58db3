// A slide as python-pptx writes it: a title, a text box with formatted runs, a table in a
// graphic frame, a group with two shapes, and a picture inside mc:AlternateContent.
#pragma once

#include <string_view>

namespace varnex::testing {

inline constexpr std::string_view kSampleSlideXml =
    "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
    "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
    "<p:cSld><p:spTree>"
    "<p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
    "<p:grpSpPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/>"
    "<a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" cy=\"0\"/></a:xfrm></p:grpSpPr>"
    "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Title 1\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr>"
    "<p:nvPr><p:ph type=\"title\"/></p:nvPr></p:nvSpPr><p:spPr/>"
    "<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang=\"en-US\" dirty=\"0\"/>"
    "<a:t>Tom &amp; Jerry &#x2014; &lt;live&gt;</a:t></a:r></a:p></p:txBody></p:sp>\n"
    "<p:sp><p:nvSpPr><p:cNvPr id=\"3\" name='Text \"Box\" 2'/><p:cNvSpPr txBox=\"1\"/><p:nvPr/></p:nvSpPr>"
    "<p:spPr><a:xfrm rot=\"-5400000\"><a:off x=\"914400\" y=\"1828800\"/><a:ext cx=\"3657600\" cy=\"914400\"/>"
    "</a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom><a:noFill/></p:spPr>"
    "<p:txBody><a:bodyPr wrap=\"none\"><a:spAutoFit/></a:bodyPr><a:lstStyle/>"
    "<a:p><a:pPr algn=\"ctr\"/><a:r><a:rPr lang=\"fr-FR\" sz=\"1800\" b=\"1\"><a:solidFill><a:srgbClr val=\"FF0000\"/>"
    "</a:solidFill><a:latin typeface=\"Calibri\"/></a:rPr><a:t xml:space=\"preserve\">  Caf\xC3\xA9 cr\xC3\xA8me  </a:t></a:r>"
    "<a:br><a:rPr lang=\"fr-FR\"/></a:br><a:fld id=\"{B6F15528-21DE-4FAA-801E-634DDDAF4B2B}\" type=\"slidenum\">"
    "<a:rPr lang=\"en-US\"/><a:t>&lt;#&gt;</a:t></a:fld><a:r><a:rPr lang=\"en-US\" i=\"1\"/><a:t>line\r\ntwo</a:t></a:r>"
    "<a:endParaRPr lang=\"en-US\" dirty=\"0\"/></a:p><a:p/></p:txBody></p:sp>\n"
    "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"4\" name=\"Table 3\"/>"
    "<p:cNvGraphicFramePr><a:graphicFrameLocks noGrp=\"1\"/></p:cNvGraphicFramePr><p:nvPr/></p:nvGraphicFramePr>"
    "<p:xfrm><a:off x=\"457200\" y=\"2743200\"/><a:ext cx=\"6096000\" cy=\"741680\"/></p:xfrm>"
    "<a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/table\">"
    "<a:tbl><a:tblPr firstRow=\"1\" bandRow=\"1\"><a:tableStyleId>{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}"
    "</a:tableStyleId></a:tblPr><a:tblGrid><a:gridCol w=\"3048000\"/><a:gridCol w=\"3048000\"/></a:tblGrid>"
    "<a:tr h=\"370840\"><a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang=\"en-US\"/><a:t>A1</a:t>"
    "</a:r></a:p></a:txBody><a:tcPr/></a:tc><a:tc gridSpan=\"1\"><a:txBody><a:bodyPr/><a:lstStyle/><a:p>"
    "<a:endParaRPr lang=\"en-US\"/></a:p></a:txBody><a:tcPr/></a:tc></a:tr></a:tbl></a:graphicData></a:graphic>"
    "</p:graphicFrame>\n"
    "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"7\" name=\"Group 6\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
    "<p:grpSpPr><a:xfrm><a:off x=\"1000\" y=\"2000\"/><a:ext cx=\"200\" cy=\"50\"/><a:chOff x=\"0\" y=\"0\"/>"
    "<a:chExt cx=\"100\" cy=\"100\"/></a:xfrm></p:grpSpPr>"
    "<p:sp><p:nvSpPr><p:cNvPr id=\"5\" name=\"Rectangle 4\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr>"
    "<p:spPr><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr></p:sp>"
    "<p:cxnSp><p:nvCxnSpPr><p:cNvPr id=\"6\" name=\"Connector 5\"/><p:cNvCxnSpPr/><p:nvPr/></p:nvCxnSpPr>"
    "<p:spPr><a:prstGeom prst=\"line\"><a:avLst/></a:prstGeom></p:spPr></p:cxnSp></p:grpSp>\n"
    "<mc:AlternateContent xmlns:p14=\"http://schemas.microsoft.com/office/powerpoint/2010/main\">"
    "<mc:Choice Requires=\"p14\"><p:pic><p:nvPicPr><p:cNvPr id=\"12\" name=\"Picture 11\"/><p:cNvPicPr/><p:nvPr/>"
    "</p:nvPicPr><p:blipFill><a:blip r:embed=\"rId2\"/><a:stretch><a:fillRect/></a:stretch></p:blipFill>"
    "<p:spPr/></p:pic></mc:Choice><mc:Fallback/></mc:AlternateContent>"
    "<!-- editor note: keep > and & as they are -->"
    "<?app-hint mode=\"fast\"?>"
    "</p:spTree><p:extLst><p:ext uri=\"{BB962C8B-B14F-4D97-AF65-F5344CB8AC3E}\">"
    "<p14:creationId xmlns:p14=\"http://schemas.microsoft.com/office/powerpoint/2010/main\" val=\"1234567\"/>"
    "</p:ext></p:extLst></p:cSld>"
    "<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>\r\n";

}  // namespace varnex::testing

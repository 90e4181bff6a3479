<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ko">
<context>
    <name>AboutDlg</name>
    <message>
        <source>Kestrana 정보</source>
        <translation>About Kestrana</translation>
    </message>
    <message>
        <source>Kestrana - a serial-port terminal</source>
        <translation>Kestrana - a serial-port terminal</translation>
    </message>
    <message>
        <source>확인</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>언어: 한국어</source>
        <translation>Language: English</translation>
    </message>
</context>
<context>
    <name>AppearanceDlg</name>
    <message>
        <source>글꼴 &amp; 색</source>
        <translation>Font &amp; colours</translation>
    </message>
    <message>
        <source>글꼴</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>Font name</source>
        <translation>Font name</translation>
    </message>
    <message>
        <source>글꼴...</source>
        <translation>Font...</translation>
    </message>
    <message>
        <source>색</source>
        <translation>Colours</translation>
    </message>
    <message>
        <source>수신</source>
        <translation>Received</translation>
    </message>
    <message>
        <source>색...</source>
        <translation>Colour...</translation>
    </message>
    <message>
        <source>송신</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>확인</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>취소</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>가나다라 ABCabc 0123456789</source>
        <translation>Sample ABCabc 0123456789</translation>
    </message>
    <message>
        <source>시간</source>
        <translation>Stamps</translation>
    </message>
</context>
<context>
    <name>AutoResponseDlg</name>
    <message>
        <source>Automatic Response</source>
        <translation>Automatic Response</translation>
    </message>
    <message>
        <source>In</source>
        <translation>In</translation>
    </message>
    <message>
        <source>Out</source>
        <translation>Out</translation>
    </message>
    <message>
        <source>1:</source>
        <translation>1:</translation>
    </message>
    <message>
        <source>2:</source>
        <translation>2:</translation>
    </message>
    <message>
        <source>3:</source>
        <translation>3:</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>AutoSendAssignDlg</name>
    <message>
        <source>Assign AutoSend String</source>
        <translation>Assign AutoSend String</translation>
    </message>
    <message>
        <source>1:</source>
        <translation>1:</translation>
    </message>
    <message>
        <source>2:</source>
        <translation>2:</translation>
    </message>
    <message>
        <source>3:</source>
        <translation>3:</translation>
    </message>
    <message>
        <source>4:</source>
        <translation>4:</translation>
    </message>
    <message>
        <source>5:</source>
        <translation>5:</translation>
    </message>
    <message>
        <source>6:</source>
        <translation>6:</translation>
    </message>
    <message>
        <source>7:</source>
        <translation>7:</translation>
    </message>
    <message>
        <source>8:</source>
        <translation>8:</translation>
    </message>
    <message>
        <source>9:</source>
        <translation>9:</translation>
    </message>
    <message>
        <source>10:</source>
        <translation>10:</translation>
    </message>
    <message>
        <source>! Hex Expression Only</source>
        <translation>! Hex Expression Only</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>AutoSendDlg</name>
    <message>
        <source>Automatic Send</source>
        <translation>Automatic Send</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>2</source>
        <translation>2</translation>
    </message>
    <message>
        <source>3</source>
        <translation>3</translation>
    </message>
    <message>
        <source>4</source>
        <translation>4</translation>
    </message>
    <message>
        <source>5</source>
        <translation>5</translation>
    </message>
    <message>
        <source>6</source>
        <translation>6</translation>
    </message>
    <message>
        <source>7</source>
        <translation>7</translation>
    </message>
    <message>
        <source>8</source>
        <translation>8</translation>
    </message>
    <message>
        <source>9</source>
        <translation>9</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>Assign</source>
        <translation>Assign</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>CHelpWindow</name>
    <message>
        <source>Kestrana - 도움말</source>
        <translation>Kestrana - Help</translation>
    </message>
</context>
<context>
    <name>CommEventsDlg</name>
    <message>
        <source>Select Comm Events</source>
        <translation>Select Comm Events</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Errors</translation>
    </message>
    <message>
        <source>CTS Changes</source>
        <translation>CTS Changes</translation>
    </message>
    <message>
        <source>DSR Changes</source>
        <translation>DSR Changes</translation>
    </message>
    <message>
        <source>Transmit Buffer Empty</source>
        <translation>Transmit Buffer Empty</translation>
    </message>
    <message>
        <source>Character Reception</source>
        <translation>Character Reception</translation>
    </message>
    <message>
        <source>Flag Character Reception</source>
        <translation>Flag Character Reception</translation>
    </message>
    <message>
        <source>Break</source>
        <translation>Break</translation>
    </message>
    <message>
        <source>Ring Indicator</source>
        <translation>Ring Indicator</translation>
    </message>
    <message>
        <source>RLSD (CD) Changes</source>
        <translation>RLSD (CD) Changes</translation>
    </message>
    <message>
        <source>Flag Char Value:</source>
        <translation>Flag Char Value:</translation>
    </message>
    <message>
        <source>0x</source>
        <translation>0x</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>&amp;Defaults</source>
        <translation>&amp;Defaults</translation>
    </message>
</context>
<context>
    <name>CommSettingsDlg</name>
    <message>
        <source>시리얼통신포트 설정</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Baud Rate</source>
        <translation>Baud Rate</translation>
    </message>
    <message>
        <source>Data Bits</source>
        <translation>Data Bits</translation>
    </message>
    <message>
        <source>Parity</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>Stop Bit</source>
        <translation>Stop Bit</translation>
    </message>
    <message>
        <source>확인</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>취소</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DialogBar</name>
    <message>
        <source>AutoResp.</source>
        <translation>AutoResp.</translation>
    </message>
    <message>
        <source>AutoSend</source>
        <translation>AutoSend</translation>
    </message>
    <message>
        <source>Periodic</source>
        <translation>Periodic</translation>
    </message>
    <message>
        <source>Port Event :</source>
        <translation>Port Event :</translation>
    </message>
    <message>
        <source>Events...</source>
        <translation>Events...</translation>
    </message>
</context>
<context>
    <name>FindBar</name>
    <message>
        <source>대/소문자 구분</source>
        <translation>Match case</translation>
    </message>
    <message>
        <source>다음 찾기</source>
        <translation>Find next</translation>
    </message>
    <message>
        <source>찾기:</source>
        <translation>Find:</translation>
    </message>
    <message>
        <source>찾는 중...</source>
        <translation>Searching...</translation>
    </message>
    <message>
        <source>찾는 중... %1%</source>
        <translation>Searching... %1%</translation>
    </message>
    <message>
        <source>찾을 수 없습니다.</source>
        <translation>Not found.</translation>
    </message>
    <message>
        <source>처음부터 다시 찾았습니다.</source>
        <translation>Passed the end; continued from the top.</translation>
    </message>
</context>
<context>
    <name>PeriodicSendDlg</name>
    <message>
        <source>Periodical Send</source>
        <translation>Periodical Send</translation>
    </message>
    <message>
        <source>Period(ms) :</source>
        <translation>Period(ms) :</translation>
    </message>
    <message>
        <source>String :</source>
        <translation>String :</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>TcpPortDlg</name>
    <message>
        <source>TCP포트설정</source>
        <translation>TCP port settings</translation>
    </message>
    <message>
        <source>서버소켓포트번호</source>
        <translation>Server port</translation>
    </message>
    <message>
        <source>무통신 연결끊기 (초, 0: 안 함)</source>
        <translation>Disconnect an idle client after (seconds, 0: never)</translation>
    </message>
    <message>
        <source>새 클라이언트가 기존 연결을 대신함</source>
        <translation>A new client replaces the connected one</translation>
    </message>
    <message>
        <source>브리지 방식 (raw, telnet, rfc2217)</source>
        <translation>Bridge mode (raw, telnet, rfc2217)</translation>
    </message>
    <message>
        <source>확인</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>취소</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TerminalSettingsDlg</name>
    <message>
        <source>터미널 설정</source>
        <translation>Terminal settings</translation>
    </message>
    <message>
        <source>글꼴</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>줄끝에 LF문자 붙여보내기</source>
        <translation>Send LF at the end of each line</translation>
    </message>
    <message>
        <source>입력한문자 보내기 전에 화면표시</source>
        <translation>Show typed characters before sending</translation>
    </message>
    <message>
        <source>받는줄끝에 LF문자 붙이기</source>
        <translation>Add LF to the end of received lines</translation>
    </message>
    <message>
        <source>Hex 모드</source>
        <translation>Hex mode</translation>
    </message>
    <message>
        <source>CRC 붙이기</source>
        <translation>Append CRC</translation>
    </message>
    <message>
        <source>확인</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>취소</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>시간과 프레임</source>
        <translation>Timestamps and frames</translation>
    </message>
    <message>
        <source>시간 표시</source>
        <translation>Timestamps</translation>
    </message>
    <message>
        <source>없음</source>
        <translation>None</translation>
    </message>
    <message>
        <source>시각 (12:34:56.789)</source>
        <translation>Time of day (12:34:56.789)</translation>
    </message>
    <message>
        <source>앞 줄부터 (+0.125)</source>
        <translation>Since the previous line (+0.125)</translation>
    </message>
    <message>
        <source>포트 연 뒤부터 ([12.345])</source>
        <translation>Since the port opened ([12.345])</translation>
    </message>
    <message>
        <source>Hex 모드에서 블록마다 한 줄 (RX/TX)</source>
        <translation>In hex mode, one line per block (RX/TX)</translation>
    </message>
    <message>
        <source>프레임 묶음 간격 (ms)</source>
        <translation>Join blocks closer than (ms)</translation>
    </message>
    <message>
        <source>송수신 기록 파일 (trafficMMDD.log)</source>
        <translation>Traffic log (trafficMMDD.log)</translation>
    </message>
</context>
<context>
    <name>res</name>
    <message>
        <source>파일(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>열기(&amp;O)...	Ctrl+O</source>
        <translation>&amp;Open...	Ctrl+O</translation>
    </message>
    <message>
        <source>저장(&amp;S)...</source>
        <translation>&amp;Save...</translation>
    </message>
    <message>
        <source>종료(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>설정(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>시리얼 통신포트 설정</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>터미널 설정</source>
        <translation>Terminal settings</translation>
    </message>
    <message>
        <source>TCP설정</source>
        <translation>TCP settings</translation>
    </message>
    <message>
        <source>통신(&amp;C)</source>
        <translation>&amp;Communication</translation>
    </message>
    <message>
        <source>연결</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>종료</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>자동 재연결</source>
        <translation>Auto reconnect</translation>
    </message>
    <message>
        <source>TCP서버소켓열기</source>
        <translation>Open TCP server</translation>
    </message>
    <message>
        <source>TCP서버소켓닫기</source>
        <translation>Close TCP server</translation>
    </message>
    <message>
        <source>도움말(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>도움말 목차...</source>
        <translation>Help contents...</translation>
    </message>
    <message>
        <source>Kestrana 정보...</source>
        <translation>About Kestrana...</translation>
    </message>
    <message>
        <source>Windows 소켓 초기화에 실패하였습니다.</source>
        <translation>Socket initialization failed.</translation>
    </message>
    <message>
        <source>OLE 초기화 실패. OLE 라이브러리가 정확한 버전인지 확인하십시오.</source>
        <translation>OLE initialization failed. Make sure that the OLE libraries are the correct version.</translation>
    </message>
    <message>
        <source>연결해제</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>TCP포트설정</source>
        <translation>TCP port settings</translation>
    </message>
    <message>
        <source>서버소켓포트번호</source>
        <translation>Server port</translation>
    </message>
    <message>
        <source>Kestrana 정보</source>
        <translation>About Kestrana</translation>
    </message>
    <message>
        <source>기존 문서를 엽니다.</source>
        <translation>Open an existing document.</translation>
    </message>
    <message>
        <source>문서를 저장할지 물어보고 응용 프로그램을 종료합니다.</source>
        <translation>Quit the application; prompts to save the document.</translation>
    </message>
</context>
</TS>

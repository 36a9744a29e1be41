<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>確定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>是(&amp;Y)</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>否(&amp;N)</translation>
    </message>
</context>
<context>
    <name>tarnvik::CAviSaveDlg</name>
    <message>
        <source>Save to AVI File...</source>
        <translation>儲存成 AVI 檔案...</translation>
    </message>
    <message>
        <source>Filename :</source>
        <translation>檔案名稱：</translation>
    </message>
    <message>
        <source>Setting avi file name</source>
        <translation>設定 AVI 檔案名稱</translation>
    </message>
    <message>
        <source>&amp;Select All</source>
        <translation>全選(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;UnSelect All</source>
        <translation>全部取消(&amp;U)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>確定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>avi Files (*.avi)</source>
        <translation>AVI 檔案 (*.avi)</translation>
    </message>
</context>
<context>
    <name>tarnvik::CBackupProgressDlg</name>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>tarnvik::CDvrPlaybackDlg</name>
    <message>
        <source>DVR Playback</source>
        <translation>DVR 遠端播放</translation>
    </message>
    <message>
        <source>Select Search Time:</source>
        <translation>選擇搜尋時間:</translation>
    </message>
</context>
<context>
    <name>tarnvik::CDvrSettingDlg</name>
    <message>
        <source>DVR Setting</source>
        <translation>DVR 設定</translation>
    </message>
    <message>
        <source>PLAY(No setting)</source>
        <translation>播放(無設定)</translation>
    </message>
    <message>
        <source>BUZZER SET</source>
        <translation>蜂鳴器</translation>
    </message>
    <message>
        <source>CAMERA NAME</source>
        <translation>攝影機名稱</translation>
    </message>
    <message>
        <source>WLL CLOCK</source>
        <translation>時鐘</translation>
    </message>
    <message>
        <source>RECORD STATUS</source>
        <translation>錄影狀態</translation>
    </message>
    <message>
        <source>VIDEO LOSS</source>
        <translation>視訊遺失</translation>
    </message>
    <message>
        <source>CH:</source>
        <translation>頻道:</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>亮度</translation>
    </message>
    <message>
        <source>Hue</source>
        <translation>色調</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>對比</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>飽和度</translation>
    </message>
    <message>
        <source>ReadWire</source>
        <translation>紅線</translation>
    </message>
    <message>
        <source>GreenWire</source>
        <translation>綠線</translation>
    </message>
    <message>
        <source>BlueWire</source>
        <translation>藍線</translation>
    </message>
    <message>
        <source>OrangeWire</source>
        <translation>橘線</translation>
    </message>
    <message>
        <source>AUDIO</source>
        <translation>聲音</translation>
    </message>
    <message>
        <source>REC QUALITY</source>
        <translation>錄影品質</translation>
    </message>
    <message>
        <source>REC CH:</source>
        <translation>錄影頻道:</translation>
    </message>
    <message>
        <source>VIDEO UP</source>
        <translation>開機畫面</translation>
    </message>
    <message>
        <source>AUDIO UP</source>
        <translation>開機聲音</translation>
    </message>
    <message>
        <source>CAR ID</source>
        <translation>車號</translation>
    </message>
    <message>
        <source>PASSWARD</source>
        <translation>密碼</translation>
    </message>
    <message>
        <source>LANGUAGE</source>
        <translation>語言</translation>
    </message>
    <message>
        <source>PLEASE OPERATE IN DVR.</source>
        <translation>請在 DVR 上操作。</translation>
    </message>
    <message>
        <source>TIME</source>
        <translation>時間</translation>
    </message>
    <message>
        <source>DISPLAY</source>
        <translation>顯示</translation>
    </message>
    <message>
        <source>CAMERA</source>
        <translation>攝影機</translation>
    </message>
    <message>
        <source>SENSOR</source>
        <translation>感應器</translation>
    </message>
    <message>
        <source>RECORDING</source>
        <translation>錄影</translation>
    </message>
    <message>
        <source>STARTUP</source>
        <translation>開機</translation>
    </message>
    <message>
        <source>SETTING</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>The DVR settings could not be saved to %1.</source>
        <translation>無法將 DVR 設定儲存到 %1。</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>另存新檔</translation>
    </message>
    <message>
        <source>INI Files (*.INI)</source>
        <translation>INI 檔案 (*.INI)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>所有檔案 (*.*)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 已經存在。
要取代它嗎?</translation>
    </message>
    <message>
        <source>The DVR settings could not be copied to %1.</source>
        <translation>無法將 DVR 設定複製到 %1。</translation>
    </message>
</context>
<context>
    <name>tarnvik::CLogonDlg</name>
    <message>
        <source>Logon...</source>
        <translation>登入...</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密碼</translation>
    </message>
    <message>
        <source>System</source>
        <translation>系統</translation>
    </message>
</context>
<context>
    <name>tarnvik::CMainDlg</name>
    <message>
        <source>Time not set!</source>
        <translation>時間未設定!</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>全螢幕</translation>
    </message>
    <message>
        <source>Speed :</source>
        <translation>速度：</translation>
    </message>
    <message>
        <source>Bitrate :</source>
        <translation>位元率：</translation>
    </message>
    <message>
        <source>Live</source>
        <translation>即時</translation>
    </message>
    <message>
        <source>Remote</source>
        <translation>遠端</translation>
    </message>
    <message>
        <source>Local</source>
        <translation>本機</translation>
    </message>
    <message>
        <source>Open a DVR volume or image</source>
        <translation>開啟 DVR 磁碟區或映像檔</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有檔案 (*)</translation>
    </message>
    <message>
        <source>DVR Files (*.dvr *.DVR);;Recordings (*.avs);;All files (*)</source>
        <translation>DVR 檔案 (*.dvr *.DVR);;錄影檔 (*.avs);;所有檔案 (*)</translation>
    </message>
    <message>
        <source>Network Viewer - %1</source>
        <translation>網路監看 - %1</translation>
    </message>
    <message>
        <source>Network Viewer</source>
        <translation>網路監看</translation>
    </message>
    <message>
        <source>DVR network viewer with the Quorlin H.264 decoder</source>
        <translation>採用 Quorlin H.264 解碼器的 DVR 網路監看程式</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>縮小</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>放大</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暫停</translation>
    </message>
    <message>
        <source>NO SIGNAL</source>
        <translation>無訊號</translation>
    </message>
    <message>
        <source>RECONNECTING IN %1 s</source>
        <translation>%1 秒後重新連線</translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation>升級</translation>
    </message>
    <message>
        <source>&amp;Backup</source>
        <translation>備份(&amp;B)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>確定</translation>
    </message>
</context>
<context>
    <name>tarnvik::CPrintDlg</name>
    <message>
        <source>Print</source>
        <translation>列印</translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>列印(&amp;P)...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>關閉(&amp;C)</translation>
    </message>
</context>
<context>
    <name>tarnvik::CSettingDlg</name>
    <message>
        <source>4-CH</source>
        <translation>4 路</translation>
    </message>
    <message>
        <source>8-CH</source>
        <translation>8 路</translation>
    </message>
    <message>
        <source>16-CH</source>
        <translation>16 路</translation>
    </message>
    <message>
        <source>Don&apos;t care</source>
        <translation>不限</translation>
    </message>
    <message>
        <source>Low speed</source>
        <translation>低速</translation>
    </message>
    <message>
        <source>High speed</source>
        <translation>高速</translation>
    </message>
    <message>
        <source>H.264(second)</source>
        <translation>H.264（次碼流）</translation>
    </message>
    <message>
        <source>Network Viewer Setting...</source>
        <translation>網路監看設定...</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>網路</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>刪除</translation>
    </message>
    <message>
        <source>Remove this session information</source>
        <translation>移除此連線資訊</translation>
    </message>
    <message>
        <source>IP address</source>
        <translation>IP 位址</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>連接埠</translation>
    </message>
    <message>
        <source>Max Channel</source>
        <translation>最大頻道數</translation>
    </message>
    <message>
        <source>Network Speed</source>
        <translation>網路速度</translation>
    </message>
    <message>
        <source>Codec</source>
        <translation>編碼格式</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>錄影</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>路徑</translation>
    </message>
    <message>
        <source>AVI</source>
        <translation>AVI 匯出</translation>
    </message>
    <message>
        <source>Fullsize</source>
        <translation>全尺寸</translation>
    </message>
    <message>
        <source>Halfsize</source>
        <translation>半尺寸</translation>
    </message>
    <message>
        <source>AVI Codec</source>
        <translation>AVI 編碼器</translation>
    </message>
    <message>
        <source>Frame rate</source>
        <translation>影格速率</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>視訊制式</translation>
    </message>
    <message>
        <source>Window</source>
        <translation>視窗</translation>
    </message>
    <message>
        <source>Hide caption in full screen</source>
        <translation>全螢幕時隱藏標題列</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>寬度</translation>
    </message>
    <message>
        <source>Height</source>
        <translation>高度</translation>
    </message>
    <message>
        <source>Select local recording path</source>
        <translation>選擇本機錄影路徑</translation>
    </message>
    <message>
        <source>The settings could not be written to %1.</source>
        <translation>無法將設定寫入 %1。</translation>
    </message>
</context>
<context>
    <name>tarnvik::CTabLive</name>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暫停</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>放大</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>縮小</translation>
    </message>
    <message>
        <source>Focus far</source>
        <translation>遠焦</translation>
    </message>
    <message>
        <source>Focus near</source>
        <translation>近焦</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>聲音</translation>
    </message>
    <message>
        <source>Sound of the channel shown alone</source>
        <translation>單一畫面頻道的聲音</translation>
    </message>
</context>
<context>
    <name>tarnvik::CTabLocalSearch</name>
    <message>
        <source>Open File</source>
        <translation>開啟檔案</translation>
    </message>
    <message>
        <source>Move to first position</source>
        <translation>移至開頭</translation>
    </message>
    <message>
        <source>Step prev</source>
        <translation>上一格</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Step Next</source>
        <translation>下一格</translation>
    </message>
    <message>
        <source>Move to last position</source>
        <translation>移至結尾</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暫停</translation>
    </message>
</context>
<context>
    <name>tarnvik::CTabNetSearch</name>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暫停</translation>
    </message>
    <message>
        <source>Step Prev</source>
        <translation>上一格</translation>
    </message>
    <message>
        <source>Step Next</source>
        <translation>下一格</translation>
    </message>
    <message>
        <source>Time Reset</source>
        <translation>時間重設</translation>
    </message>
</context>
<context>
    <name>tarnvik::CTabUpgrade</name>
    <message>
        <source>Load firmware file</source>
        <translation>載入韌體檔案</translation>
    </message>
    <message>
        <source>firmware file (*.ncf)</source>
        <translation>韌體檔案 (*.ncf)</translation>
    </message>
    <message>
        <source>All File (*)</source>
        <translation>所有檔案 (*)</translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <translation>正在連線到 %1…</translation>
    </message>
    <message>
        <source>Sent, waiting for the DVR…</source>
        <translation>已送出，等待 DVR 回應…</translation>
    </message>
    <message>
        <source>The DVR did not respond for %1 s; the upgrade was given up.</source>
        <translation>DVR 已 %1 秒沒有回應，升級已停止。</translation>
    </message>
</context>
<context>
    <name>tarnvik::Messages</name>
    <message>
        <source>Connection closed.</source>
        <translation>連線已關閉。</translation>
    </message>
    <message>
        <source>Connection failed.</source>
        <translation>連線失敗。</translation>
    </message>
    <message>
        <source>Connection failed!</source>
        <translation>連線失敗！</translation>
    </message>
    <message>
        <source>Login failed!</source>
        <translation>登入失敗！</translation>
    </message>
    <message>
        <source>Dalvorin Version mismatched !!</source>
        <translation>Dalvorin 版本不符！！</translation>
    </message>
    <message>
        <source>There was not use of old hour DVR server and the connection was closed.
When continuously it uses, connection do as a favor again.</source>
        <translation>DVR 伺服器長時間未使用，連線已關閉。
若要繼續使用，請重新連線。</translation>
    </message>
    <message>
        <source>PB MODE STOP!!!</source>
        <translation>播放模式已停止！！！</translation>
    </message>
    <message>
        <source>There is not a valid accounts.</source>
        <translation>沒有有效的帳號。</translation>
    </message>
    <message>
        <source>The passwordd was incorrect.</source>
        <translation>密碼不正確。</translation>
    </message>
    <message>
        <source>The connection session was exceeded..</source>
        <translation>連線數已超過上限。</translation>
    </message>
    <message>
        <source>While backup it will not be able to connect.</source>
        <translation>備份進行中，無法連線。</translation>
    </message>
    <message>
        <source>There is not a search data.</source>
        <translation>找不到搜尋的資料。</translation>
    </message>
    <message>
        <source>File open error.</source>
        <translation>檔案開啟錯誤。</translation>
    </message>
    <message>
        <source>While reading a data stream, the error occurred.</source>
        <translation>讀取資料串流時發生錯誤。</translation>
    </message>
    <message>
        <source>It is the first position of recorded data.</source>
        <translation>已是錄影資料的開頭。</translation>
    </message>
    <message>
        <source>It is the last position of recorded data.</source>
        <translation>已是錄影資料的結尾。</translation>
    </message>
    <message>
        <source>The playback session exists already.</source>
        <translation>播放連線已存在。</translation>
    </message>
    <message>
        <source>While backup it will not be able to continue.</source>
        <translation>備份進行中，無法繼續。</translation>
    </message>
    <message>
        <source>Unknown command</source>
        <translation>未知的命令</translation>
    </message>
    <message>
        <source>Unknown argument</source>
        <translation>未知的參數</translation>
    </message>
    <message>
        <source>H.264 Decoder Init Error !</source>
        <translation>H.264 解碼器初始化錯誤！</translation>
    </message>
    <message>
        <source>Can&apos;t make directory!</source>
        <translation>無法建立資料夾！</translation>
    </message>
    <message>
        <source>Can&apos;t open file!</source>
        <translation>無法開啟檔案！</translation>
    </message>
    <message>
        <source>Recording stopped: can&apos;t write file!</source>
        <translation>錄影已停止：無法寫入檔案！</translation>
    </message>
    <message>
        <source>Open File Error!</source>
        <translation>開啟檔案錯誤！</translation>
    </message>
    <message>
        <source>The signature of backup data is invalid. Are you continue ?</source>
        <translation>備份資料的簽章無效。是否繼續？</translation>
    </message>
    <message>
        <source>not a file or a disk</source>
        <translation>不是檔案或磁碟</translation>
    </message>
    <message>
        <source>The file holds no video records.</source>
        <translation>檔案中沒有影像記錄。</translation>
    </message>
    <message>
        <source>Session List is full!</source>
        <translation>連線清單已滿！</translation>
    </message>
    <message>
        <source>IP Address is empty!</source>
        <translation>IP 位址是空的！</translation>
    </message>
    <message>
        <source>Are you delete this information, Really ?</source>
        <translation>確定要刪除此資訊嗎？</translation>
    </message>
    <message>
        <source>Connection closed.(%1)</source>
        <translation>連線已關閉。(%1)</translation>
    </message>
    <message>
        <source>Can&apos;t open %1: %2</source>
        <translation>無法開啟 %1：%2</translation>
    </message>
    <message>
        <source>No video data was found in %1.</source>
        <translation>在 %1 中找不到影像資料。</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>Not loaded firmware file</source>
        <translation>未載入韌體檔案</translation>
    </message>
    <message>
        <source>Can&apos;t connect to server</source>
        <translation>無法連線到伺服器</translation>
    </message>
    <message>
        <source>Complete Firmware upgrade.</source>
        <translation>韌體升級完成。</translation>
    </message>
    <message>
        <source>The DVR closed the connection before confirming the upgrade.</source>
        <translation>DVR 在確認升級之前就關閉了連線。</translation>
    </message>
    <message>
        <source>The firmware file is empty.</source>
        <translation>韌體檔案是空的。</translation>
    </message>
    <message>
        <source>The firmware file is larger than 4 GiB.</source>
        <translation>韌體檔案大於 4 GiB。</translation>
    </message>
    <message>
        <source>The file became shorter while it was sent.</source>
        <translation>檔案在傳送期間變短了。</translation>
    </message>
    <message>
        <source>AVI Save failed !</source>
        <translation>AVI 儲存失敗！</translation>
    </message>
    <message>
        <source>Can&apos;t read %1: %2</source>
        <translation>無法讀取 %1：%2</translation>
    </message>
    <message>
        <source>Firmware upgrade failed[%1].</source>
        <translation>韌體升級失敗[%1]。</translation>
    </message>
    <message>
        <source>Socket error %1 : Would you retry ?</source>
        <translation>通訊端錯誤 %1：要重試嗎？</translation>
    </message>
    <message>
        <source>Socket error : [%1]</source>
        <translation>通訊端錯誤：[%1]</translation>
    </message>
</context>
<context>
    <name>tarnvik::Snapshots</name>
    <message>
        <source>Reset All Channels</source>
        <translation>重設所有攝影機</translation>
    </message>
    <message>
        <source>The picture could not be saved:
%1
%2</source>
        <translation>無法儲存圖片：
%1
%2</translation>
    </message>
    <message>
        <source>The page could not be printed.</source>
        <translation>無法列印此頁。</translation>
    </message>
</context>
</TS>
